// Lookup tables of the lens effect. Every table is built once per mode
// change; applying one costs a single lookup per pixel. The builders are
// pure: they depend on their arguments only.
//
// The tables address the host's buffer as it is stored. They are defined
// for a buffer whose rows run bottom first; for one whose rows run top
// first they are built upside down (rows walked from the other end, row
// shifts negated), so that both hosts see the same picture.
#pragma once

#include <cstdint>
#include <vector>

#include "core/row_order.h"

namespace quexal {

// Lens modes of the effect.
inline constexpr int kLensSwirl = 1;
inline constexpr int kLensMirror = 2;
inline constexpr int kLensFunnel = 3;
inline constexpr int kLensBulge = 4;
inline constexpr int kLensMagnify = 5;
inline constexpr int kLensStretch = 6;
inline constexpr int kLensPinch = 7;
inline constexpr int kLensFirstDistortion = kLensFunnel;
inline constexpr int kLensLastDistortion = kLensPinch;

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

// Top-left corner of the swirl square in the buffer: the first buffer row
// it covers, and its first column.
int32_t swirlSquareTop(int32_t height, int32_t size, RowOrder order = RowOrder::BottomFirst);
int32_t swirlSquareLeft(int32_t width, int32_t size);

// Builds the swirl table for a width x height frame of packed 24-bit pixels
// stored in `order`; its rows follow the buffer's from swirlSquareTop on.
SwirlMap buildSwirlMap(int32_t width, int32_t height, RowOrder order = RowOrder::BottomFirst);

// Where the distortion of modes 3 to 7 takes the picture for a point in
// frame coordinates that run from -1 to 1 with 0 at the centre: one small
// pure function per mode (funnelRadius, ..., stretchPoint). Other modes
// keep the point.
double funnelRadius(double r);
double bulgeRadius(double r);
double magnifyRadius(double r);
double pinchRadius(double r);
Point2 stretchPoint(double x, double y);
Point2 distortPoint(double x, double y, int mode);

// Builds the distortion table of `mode` for a width x height frame stored in
// `order`: per pixel, in buffer order, the byte offset of its source pixel
// from the start of the buffer, or kKeepPixel where the source falls
// outside the frame.
std::vector<int32_t> buildLensRemap(int32_t width, int32_t height, int mode,
                                    RowOrder order = RowOrder::BottomFirst);

}  // namespace quexal
