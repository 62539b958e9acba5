// The per-frame kernels of the lens effect.
#include "effects/lens/lens.h"

#include <algorithm>
#include <cstring>
namespace quexal {

void applySwirl(uint8_t* frame, const uint8_t* copy, int32_t width, int32_t height,
                const int32_t* offsets, int32_t size, RowOrder order) {
    const int32_t n = size;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    const std::size_t start = swirlSquareTop(height, n, order) * rowBytes +
                              static_cast<std::size_t>(swirlSquareLeft(width, n)) * 3;
    for (int32_t j = 0; j < n; ++j) {
        uint8_t* dst = frame + start + j * rowBytes;
        const uint8_t* src = copy + start + j * rowBytes;
        const int32_t* rowOffsets = offsets + static_cast<std::size_t>(j) * n;
        for (int32_t c = 0; c < n; ++c) {
            const uint8_t* s = src + 3 * c + rowOffsets[c];
            dst[3 * c + 0] = s[0];
            dst[3 * c + 1] = s[1];
            dst[3 * c + 2] = s[2];
        }
    }
}

void mirrorLeftHalf(uint8_t* frame, int32_t width, int32_t height) {
    // A single column has no column width - k to take: it stays as it is.
    if (width < 2) return;
    const int32_t middle = width / 2;
    // For odd widths the middle column takes the column after it, which
    // then takes the new middle back; every later column reads the left
    // half, which the walk never writes, so those may be copied in any way.
    const int32_t firstPlain = middle + 1 + (width & 1);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = frame + static_cast<std::size_t>(y) * width * 3;
        for (int32_t k = middle; k < std::min(firstPlain, width); ++k)
            std::memcpy(row + 3 * k, row + 3 * (width - k), 3);
        // Four-byte moves: the extra byte lands on the next pixel, which is
        // written right after; the row's last pixel moves three bytes so
        // that nothing past the row is touched.
        for (int32_t k = firstPlain; k < width - 1; ++k) {
            uint32_t px;
            std::memcpy(&px, row + 3 * (width - k), 4);
            std::memcpy(row + 3 * k, &px, 4);
        }
        if (firstPlain < width) std::memcpy(row + 3 * (width - 1), row + 3, 3);
    }
}

void applyLensRemap(const uint8_t* frame, const int32_t* map, int32_t width, int32_t height,
                    uint8_t* image, bool flip) {
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* own = frame + y * rowBytes;
        const int32_t* entries = map + static_cast<std::size_t>(y) * width;
        uint8_t* dst = image + (flip ? height - 1 - y : y) * rowBytes;
        for (int32_t x = 0; x < width; ++x) {
            const int32_t e = entries[x];
            const uint8_t* s = e == kKeepPixel ? own + 3 * x : frame + e;
            dst[3 * x + 0] = s[0];
            dst[3 * x + 1] = s[1];
            dst[3 * x + 2] = s[2];
        }
    }
}

}  // namespace quexal
