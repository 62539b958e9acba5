#include "effects/fire/fire_routine.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "core/numeric.h"

namespace quexal {
namespace {

// The palette runs in three ramps of this many entries each.
constexpr int32_t kRampSpan = 85;

// The fire brightens a pixel to at most this share of the palette colour.
constexpr double kFireStrength = 0.6;

int32_t channel(uint32_t color, int shift) {
    return static_cast<int32_t>((color >> shift) & 0xFF);
}

}  // namespace

CFireRoutine::~CFireRoutine() {
    rowStart = {};
    heat = {};
}

void CFireRoutine::SetSize(int32_t newWidth, int32_t newHeight) {
    newWidth = std::max(newWidth, 0);
    newHeight = std::max(newHeight, 0);
    if (static_cast<int64_t>(newWidth) * newHeight > INT32_MAX)
        throw std::length_error("fire map too large");

    // Allocate before touching anything, so that a failure keeps the old map.
    std::vector<uint8_t> cells(static_cast<std::size_t>(newWidth) * newHeight, 0);
    std::vector<int32_t> starts(newHeight);
    std::vector<uint8_t> scratch(static_cast<std::size_t>(newWidth) * 2);
    for (int32_t r = 0; r < newHeight; ++r) starts[r] = r * newWidth;

    width = newWidth;
    height = newHeight;
    heat = std::move(cells);
    rowStart = std::move(starts);
    burnRows_ = std::move(scratch);
    BuildPalette();
}

// Writes the ramp from colour `from` to colour `to` (red in the low byte)
// over `span` entries from `first` on. The steps are held as 32-bit floats,
// but the products and sums with them are real arithmetic, in double: a
// float product lands one entry or one level off at a few places. Several
// steps may land on one entry: the last one stays.
void CFireRoutine::rampPalette(uint32_t from, uint32_t to, int32_t first, int32_t span) {
    const int32_t a[3] = {channel(from, 0), channel(from, 8), channel(from, 16)};
    const int32_t d[3] = {channel(to, 0) - a[0], channel(to, 8) - a[1], channel(to, 16) - a[2]};
    const int32_t n = std::max({std::abs(d[0]), std::abs(d[1]), std::abs(d[2])});
    if (n == 0) return;

    const double indexStep = asFloat32(static_cast<double>(span) / n);
    double step[3];
    for (int i = 0; i < 3; ++i) step[i] = asFloat32(static_cast<double>(d[i]) / n);

    for (int32_t j = 0; j < n; ++j) {
        const int32_t index = first + truncToInt(j * indexStep);
        if (index < 0 || index >= kPaletteSize - 1) continue;
        uint32_t rgb[3];
        for (int i = 0; i < 3; ++i)
            rgb[i] = static_cast<uint32_t>(truncToInt(a[i] + j * step[i])) & 0xFF;
        palette[index] = rgb[2] | rgb[1] << 8 | rgb[0] << 16;
    }
}

void CFireRoutine::BuildPalette() {
    std::fill(std::begin(palette), std::end(palette), 0u);
    for (int s = 0; s < 3; ++s)
        rampPalette(keyColors[s], keyColors[s + 1], kRampSpan * s, kRampSpan);

    // The bottom third again, rising from black at blackCount to red.
    const int32_t black = std::clamp(blackCount, 0, kRampSpan);
    std::fill(palette, palette + black, 0u);
    rampPalette(keyColors[0], keyColors[1], black, kRampSpan - black);
}

void CFireRoutine::SeedRow() {
    if (width <= 0 || height <= 0) return;
    uint8_t* seeds = row(0);
    std::memset(seeds, 0, width);
    const int32_t longest = std::max(maxRun, 1);
    for (int32_t x = 0; x < width; ++x) {
        if (random.next() % 101 >= seedChance) continue;
        const int32_t run = random.next() % longest + 1;
        const int32_t end = std::min(x + run, width);
        std::memset(seeds + x, kSeedHeat, end - x);
        // The loop's own step leaves one unseeded cell after the run.
        x = end;
    }
}

int32_t CFireRoutine::HeatAt(int32_t x, int32_t y) const {
    const uint8_t* cur = row(y);
    const uint8_t* next = row(y + 1);
    const int32_t across = cur[x - 2] + cur[x - 1] + cur[x] + cur[x + 1] + cur[x + 2];
    if (y == 0) return (across + next[x]) / 6;
    return (row(y - 1)[x] + across + next[x]) / 7;
}

// Walking the columns one by one is a serial chain through every column and
// strides across the map. Row by row gives the same values: cell (x, r)
// reads the new row r - 2 at x, the new row r - 1 at x - 2..x (columns to
// its left, and its own column, are already done when it is computed), the
// old row r - 1 at x + 1 and x + 2 (those columns come later) and its own
// old value. Keeping the old row r - 1 aside, every cell of a row depends
// only on rows above it, and the row loop vectorises.
void CFireRoutine::Burn() {
    if (width - 2 <= 2 || height < 2) return;
    const int32_t last = width - 3;
    uint8_t* oldAbove = burnRows_.data();  // row r - 1 before this pass
    uint8_t* oldHere = oldAbove + width;   // row r before this pass

    // Row 1 averages the seed row, which the pass never changes.
    {
        const uint8_t* seeds = row(0);
        uint8_t* out = row(1);
        std::memcpy(oldAbove, out, width);
        for (int32_t x = 2; x <= last; ++x)
            out[x] = static_cast<uint8_t>(
                (seeds[x - 2] + seeds[x - 1] + seeds[x] + seeds[x + 1] + seeds[x + 2] + out[x]) /
                6);
    }
    for (int32_t r = 2; r < height; ++r) {
        const uint8_t* __restrict above2 = row(r - 2);
        const uint8_t* __restrict above = row(r - 1);
        const uint8_t* __restrict old = oldAbove;
        uint8_t* __restrict out = row(r);
        std::memcpy(oldHere, out, width);
        const uint8_t* __restrict own = oldHere;
        for (int32_t x = 2; x <= last; ++x) {
            const uint32_t sum = above2[x] + above[x - 2] + above[x - 1] + above[x] + old[x + 1] +
                                 old[x + 2] + own[x];
            out[x] = static_cast<uint8_t>(static_cast<uint16_t>(sum) / 7);
        }
        std::swap(oldAbove, oldHere);
    }
}

void CFireRoutine::Run(int32_t steps) {
    for (int32_t i = 0; i < steps; ++i) {
        SeedRow();
        Burn();
    }
}

void CFireRoutine::Render(uint8_t* frame, RowOrder order) {
    SeedRow();
    Burn();

    // v = byte * 0.6; a pixel byte below v becomes trunc(v), which for an
    // integer byte is max(byte, trunc(v)).
    uint8_t lift[kPaletteSize][3];
    for (int e = 0; e < kPaletteSize; ++e)
        for (int b = 0; b < 3; ++b)
            lift[e][b] =
                static_cast<uint8_t>(truncToInt(channel(palette[e], 8 * b) * kFireStrength));

    // Picture row r from the bottom is buffer row r of a bottom-first
    // buffer and buffer row height - 1 - r of a top-first one.
    const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(width) * 3;
    const bool bottomFirst = order == RowOrder::BottomFirst;
    uint8_t* bottomRow = bottomFirst ? frame : frame + (height - 1) * rowBytes;
    const std::ptrdiff_t upward = bottomFirst ? rowBytes : -rowBytes;
    for (int32_t r = 0; r + 3 < height; ++r) {
        const uint8_t* cells = row(r + 3);
        uint8_t* px = bottomRow + r * upward;
        for (int32_t x = 0; x < width; ++x, px += 3) {
            const uint8_t* l = lift[cells[x]];
            px[0] = std::max(px[0], l[0]);
            px[1] = std::max(px[1], l[1]);
            px[2] = std::max(px[2], l[2]);
        }
    }
}

}  // namespace quexal
