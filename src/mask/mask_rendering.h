// Drawing for the face mask: lay a BGRA picture over the working frame
// (resampled, turned in a transparent square canvas, alpha-blended), and
// pixelate or blur one rectangle of it in place.
//
// All functions are pure over their buffers. Scratch Mats may be handed in
// so that a caller drawing every frame reuses their storage; results never
// depend on what the scratch held before.
#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "mask/turn.h"

namespace quexal {

// Storage reused between draws. drawMask also keeps what it last resampled
// and turned, and reuses it while the picture's bytes, the overlay size and
// the angle stay the same (a face held still), which saves the two costly
// steps without changing a byte of the result.
struct MaskScratch {
    cv::Mat scaled;  // resampled picture, 8UC4
    cv::Mat turned;  // the picture turned in its transparent square, 8UC4
    cv::Mat region;  // copy of the rectangle being obscured, 8UC3

    std::vector<uint8_t> picture;  // the picture `scaled` and `turned` come from
    int32_t pictureWidth = 0, pictureHeight = 0;
    bool scaledValid = false;  // `scaled` holds the picture at its own size
    bool turnedValid = false;  // `turned` holds the source at turnedFrom* by turnedAngle
    int32_t turnedFromWidth = 0, turnedFromHeight = 0;
    float turnedAngle = 0.0f;
};

// Blends `picture` (pictureWidth x pictureHeight, 4 bytes a pixel, packed)
// onto `frame` (frameWidth x frameHeight, 3 bytes a pixel, packed) over the
// rectangle (left, top, width, height), resampled to width x height when
// that differs from the picture's size and turned by `angle` radians
// (counter-clockwise on screen) when angle is not exactly 0. Source row r
// lands on frame row top - 1 + r. Pixels outside the frame are skipped.
void drawMask(const uint8_t* picture, uint8_t* frame, int32_t pictureWidth, int32_t pictureHeight,
              int32_t left, int32_t top, int32_t width, int32_t height, float angle,
              int32_t frameWidth, int32_t frameHeight, MaskScratch& scratch);
void drawMask(const uint8_t* picture, uint8_t* frame, int32_t pictureWidth, int32_t pictureHeight,
              int32_t left, int32_t top, int32_t width, int32_t height, float angle,
              int32_t frameWidth, int32_t frameHeight);

// One channel of the blend: trunc(s * alpha + f * (1 - alpha)) with alpha
// and 1 - alpha held as 32-bit floats, the sum in double.
inline uint8_t blendChannel(uint8_t s, uint8_t f, float alpha, float beta) {
    return static_cast<uint8_t>(static_cast<double>(s) * alpha + static_cast<double>(f) * beta);
}

// Area-resamples a packed BGRA picture into `out` (newWidth x newHeight, 8UC4).
void scaleMask(const uint8_t* picture, int32_t pictureWidth, int32_t pictureHeight,
               int32_t newWidth, int32_t newHeight, cv::Mat& out);

// Side of the square canvas that holds a picture `width` wide turned by
// `angle`: width * (|sin| + |cos|), from 32-bit float steps, never less than
// `width`.
int32_t rotatedCanvasSide(int32_t width, float angle);

// The side g of the canvas rotateMask turns a width x height picture in.
int32_t turnedCanvasSide(int32_t width, int32_t height, float angle);

// Centres a packed BGRA picture in a transparent g x g canvas and turns it
// by `angle` about the canvas centre, bilinear, with transparent fill.
// Writes the result to `out` (g x g, 8UC4) and answers g; `onRow` is told
// of each row as it is finished (see turnPicture).
int32_t rotateMask(const uint8_t* picture, int32_t pictureWidth, int32_t pictureHeight, float angle,
                   cv::Mat& out, const TurnedRow& onRow = {});

// Pixelates (mode 1, blocks of `strength` rounded down to a multiple of 4)
// or box-blurs (mode 2, an odd `strength` square) the rectangle of `image`
// (8UC3). Mode 1 moves the top up to a multiple of 4 and cuts width and
// height down to whole blocks. A rectangle not wholly inside the image, a
// negative corner or a strength below 4 leaves the image unchanged.
void obscureRegion(cv::Mat& image, int32_t mode, int32_t strength, int32_t left, int32_t top,
                   int32_t width, int32_t height, int32_t imageWidth, int32_t imageHeight,
                   cv::Mat& scratch);
void obscureRegion(cv::Mat& image, int32_t mode, int32_t strength, int32_t left, int32_t top,
                   int32_t width, int32_t height, int32_t imageWidth, int32_t imageHeight);

// Replaces every n x n block of `image` (8UC3) by its mean, each channel
// rounded down. Pixels of a partial block at the right or bottom edge are
// left as they are.
void pixelateBlocks(cv::Mat& image, int32_t n);

namespace detail {

inline constexpr int32_t kBlendBlock = 8;

// Where a source lands on a packed BGR frame: source pixel (0, 0) at frame
// column `left`, row `firstRow`; whatever falls outside the frame is
// skipped. `vectorBlocks` false keeps to the portable code (for the tests).
struct Landing {
    uint8_t* frame;
    int32_t frameWidth, frameHeight;
    int64_t left, firstRow;
    bool vectorBlocks;
};

// Blends columns [from, to) of row `r` of a packed BGRA source.
void blendSourceRow(const uint8_t* sourceRow, int64_t r, int64_t from, int64_t to,
                    const Landing& at);
// Blends the whole cols x rows source.
void blendPicture(const uint8_t* source, int32_t cols, int32_t rows, const Landing& at);

// Copies (alpha dropped) or skips the leading blocks of kBlendBlock source
// pixels that are all opaque or all clear, and answers the number of
// pixels done: it stops at the first block with any other alpha.
int32_t copyOrSkipBlocksAvx2(const uint8_t* source, uint8_t* frame, int32_t count);

}  // namespace detail
}  // namespace quexal
