// Lookup tables of the lens effect. Every table is built once per mode
// change; applying one costs a single lookup per pixel. The builders are
// pure: they depend on their arguments only.
#pragma once

#include <cstdint>
#include <vector>

namespace quexal {

// Lens modes of the effect.
inline constexpr int kLensSwirl = 1;
inline constexpr int kLensMirror = 2;
inline constexpr int kLensFirstDistortion = 3;
inline constexpr int kLensLastDistortion = 7;

// A map entry that leaves its pixel as it is.
inline constexpr int32_t kKeepPixel = -1;

struct Point2 {
    double x, y;
};

// The swirl turns a disc inscribed in a square of side `size`, centred in
// the frame. `offsets` holds, row by row, each square pixel's signed byte
// offset from its own position to its source pixel in the frame (0 keeps
// the pixel).
struct SwirlMap {
    int32_t size = 0;
    std::vector<int32_t> offsets;
};

// The swirl square: the frame height for landscape frames, the smaller side
// otherwise, so that it always lies inside the frame.
int32_t swirlSquareSize(int32_t width, int32_t height);

// Top-left corner of the swirl square in the frame.
int32_t swirlSquareTop(int32_t height, int32_t size);
int32_t swirlSquareLeft(int32_t width, int32_t size);

// Builds the swirl table for a width x height frame of packed 24-bit pixels.
SwirlMap buildSwirlMap(int32_t width, int32_t height);

// The radial distortion of modes 3 to 7 for a point in frame coordinates
// that run from -1 to 1 with 0 at the centre. Other modes keep the point.
Point2 distortPoint(double x, double y, int mode);

// Builds the distortion table of `mode` for a width x height frame: per
// pixel, row by row, the byte offset of its source pixel from the start of
// the frame, or kKeepPixel where the source falls outside the frame.
std::vector<int32_t> buildLensRemap(int32_t width, int32_t height, int mode);

}  // namespace quexal
