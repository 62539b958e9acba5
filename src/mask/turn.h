// Turning the overlay picture. The picture lies in the middle of a
// transparent square canvas, which warpAffine (bilinear, transparent
// border) turns about its centre. Once the overlay is half as tall as an
// HD frame that pass costs more than all the rest of a tracked frame. This
// does the same sampling with the same fixed-point steps, so the same
// bytes, but straight from the picture (no canvas is built), only along
// the stretch of each row the turned picture can reach, and eight pixels at
// a time where the processor has AVX2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include <opencv2/core.hpp>

namespace quexal {

// Told of each finished row y of a turn and the stretch [first, last) of it
// the picture can reach (the rest is transparent). Rows come from the
// thread that turned them, so two calls may run at once, never for the
// same row.
using TurnedRow = std::function<void(int32_t y, int32_t first, int32_t last)>;

// `out` (created side x side, 8UC4) becomes warpAffine(canvas, out, turn,
// {side, side}, INTER_LINEAR, BORDER_CONSTANT, 0) of a transparent canvas
// holding the packed BGRA picture with its top-left pixel at `at`.
// `vectorRows` false keeps to the portable code (for the tests).
void turnPicture(const uint8_t* picture, int32_t width, int32_t height, cv::Point at,
                 const cv::Matx23f& turn, int32_t side, cv::Mat& out, bool vectorRows = true,
                 const TurnedRow& onRow = {});

namespace detail {

// One row of the turn: where its pixels sample the picture, in
// warpAffine's fixed point (kCoordBits fraction bits before the final
// rounding step).
struct TurnRow {
    const uint8_t* picture;
    int32_t width, height;
    std::size_t stride;
    int32_t atX, atY;        // the picture's top-left pixel on the canvas
    int32_t startX, startY;  // the row's base coordinates, rounding included
    const int32_t* stepX;    // per-column additions, one per canvas column
    const int32_t* stepY;
};

// Turns pixels [x, last) of the row while whole blocks of eight sample
// inside the picture; answers where it stopped (x when it did nothing).
int32_t turnBlocksAvx2(const TurnRow& row, int32_t x, int32_t last, uint8_t* out);

}  // namespace detail
}  // namespace quexal
