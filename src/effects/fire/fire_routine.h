// Flames from a cellular heat map drawn through a palette. Each step seeds
// row 0 of the map with random runs of full heat and spreads the heat
// towards higher rows by averaging every cell with its neighbours, which
// also cools it. Heat row r + 3 is drawn onto picture row r counted from
// the bottom, so the flames rise from the bottom edge of the picture.
#pragma once

#include <cstdint>
#include <vector>

#include "core/row_order.h"

namespace quexal {

// The C runtime's classic rand(): values 0..32767, starting from seed 1 as
// an unseeded program does, so flames come out the same on every platform.
class CrtRandom {
public:
    int32_t next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int32_t>((state_ >> 16) & 0x7FFF);
    }

private:
    uint32_t state_ = 1;
};

class CFireRoutine {
public:
    // Heat written by seeding; averaging never exceeds its inputs, so the
    // map holds 0..kSeedHeat and palette entry 255 is never looked up.
    static constexpr uint8_t kSeedHeat = 254;
    static constexpr int kPaletteSize = 256;

    CFireRoutine() = default;
    virtual ~CFireRoutine();
    CFireRoutine(const CFireRoutine&) = default;
    CFireRoutine& operator=(const CFireRoutine&) = default;

    // Reallocates a zeroed map of width x height cells and rebuilds the
    // palette. Keeps the old map when the allocation fails (and throws).
    void SetSize(int32_t width, int32_t height);
    // Rebuilds palette from keyColors and blackCount.
    void BuildPalette();
    // Clears heat row 0 and seeds it with runs of kSeedHeat.
    void SeedRow();
    // The neighbourhood average that Burn writes below cell (x, y).
    int32_t HeatAt(int32_t x, int32_t y) const;
    // One propagation pass over the map, in place: for each column x from
    // 2 to width - 3, for each row y from 0 to height - 2, cell x of row
    // y + 1 becomes HeatAt(x, y), so later cells see the values written
    // before them in the same pass.
    void Burn();
    // `steps` times SeedRow then Burn.
    void Run(int32_t steps);
    // One step, then the map drawn onto a frame of width x height packed
    // 24-bit pixels stored in `order`: each byte rises to 60 % of the
    // palette colour if below. The top three rows of the picture are never
    // drawn on.
    void Render(uint8_t* frame, RowOrder order = RowOrder::BottomFirst);

    int32_t blackCount = 25;  // palette entries 0..blackCount-1 are black
    int32_t width = 0;        // map width in cells
    int32_t height = 0;       // map height in rows
    int32_t seedChance = 8;   // out of 101, that a seed position starts a run
    int32_t maxRun = 35;      // longest seeded run
    // Black, red, orange-yellow, white; red in bits 0-7, green 8-15, blue 16-23.
    uint32_t keyColors[4] = {0x000000, 0x0000FF, 0x00CDFF, 0xFFFFFF};
    std::vector<uint8_t> heat;  // width x height cells, row after row
    // Blue in bits 0-7, green 8-15, red 16-23: in memory the byte order of
    // a frame pixel.
    uint32_t palette[kPaletteSize] = {};
    std::vector<int32_t> rowStart;  // entry r: offset r * width of heat row r

    CrtRandom random;  // the generator behind SeedRow

private:
    void rampPalette(uint32_t from, uint32_t to, int32_t first, int32_t span);
    std::vector<uint8_t> burnRows_;  // two rows of scratch for Burn
    uint8_t* row(int32_t r) { return heat.data() + rowStart[r]; }
    const uint8_t* row(int32_t r) const { return heat.data() + rowStart[r]; }
};

}  // namespace quexal
