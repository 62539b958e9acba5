// The per-frame kernels of the lens effect, on packed 24-bit frames.
#pragma once

#include <cstdint>

#include "effects/lens/lens_maps.h"

namespace quexal {

// Rewrites the swirl square of side `size` in `frame`, stored in `order`:
// each square pixel takes the pixel that `copy` (the frame as it came in)
// holds at its own position plus its offset (SwirlMap::offsets, built for
// the same order).
void applySwirl(uint8_t* frame, const uint8_t* copy, int32_t width, int32_t height,
                const int32_t* offsets, int32_t size, RowOrder order = RowOrder::BottomFirst);

// Mirrors the left half onto the right half in place, walking each row left
// to right: column k >= width / 2 takes column width - k as it is at that
// moment. Column 0 is never copied.
void mirrorLeftHalf(uint8_t* frame, int32_t width, int32_t height);

// Writes the frame seen through a distortion map into `image` (same size,
// packed rows): each pixel takes the source pixel its entry names, or its
// own where the entry is kKeepPixel. With `flip` the rows land in reverse
// order, as the row-order copy into a working image would put them.
void applyLensRemap(const uint8_t* frame, const int32_t* map, int32_t width, int32_t height,
                    uint8_t* image, bool flip);

}  // namespace quexal
