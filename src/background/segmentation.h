// Segmentation of a frame against the reference of the empty scene: the
// pieces of the pipeline that work on plain images, so that each rule can
// be checked on its own.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

namespace quexal::bkg {

// Box blur of frames and references.
inline constexpr int kFrameBlurSize = 5;
// Brightness shifts of the blurred frame before the second and third
// comparisons; they pair with the +-20 of the prepared references.
inline constexpr int kSecondComparisonShift = 12;
inline constexpr int kThirdComparisonShift = -24;
inline constexpr int kReferenceShift = 20;
// Grey difference above which a pixel differs from the reference.
inline constexpr double kDifferenceThreshold = 20.0;
// Square by which the union of the differences grows before outlining.
inline constexpr int kGrowSize = 5;
// A blob is outlined when its chain has this many points...
inline constexpr int kMinChainLength = 190;
// ...and its closed outline is strictly longer than this.
inline constexpr double kMinOutlinePerimeter = 200.0;
inline constexpr int kOutlineThickness = 3;
inline constexpr int kBarrierThickness = 2;
// Value the flood fill gives the background, and the matte's maximum.
inline constexpr uint8_t kFilledBackground = 50;
// Box blur that turns the filled canvas into the matte.
inline constexpr int kMatteBlurSize = 13;

// Number of chain steps of a closed outline given by the end points of its
// horizontal, vertical and diagonal runs: the sum of the Chebyshev lengths
// of its edges. A single point has none.
int chainLength(const std::vector<cv::Point>& outline);

// Whether an outline is long enough to be a person rather than noise.
bool isLargeOutline(const std::vector<cv::Point>& outline);

// Draws, in 0 at thickness 3, the outer outline of every large blob of
// `blobs` (nonzero pixels) onto `canvas`, which the call first sets to 255.
// `blobs` is consumed: its 1-pixel border is cleared, so blobs touching the
// frame edge are outlined one pixel inside it.
void drawLargeOutlines(cv::Mat& blobs, cv::Mat& canvas);

// Row of the barrier line for `cutLine` percent of the height, counted from
// the host's first row: from the bottom of the picture when the host's rows
// run bottom-up. Nothing for cutLine 0. Far-out percentages give a row a
// little outside the frame, where the line draws nothing, instead of
// overflowing.
std::optional<int> barrierRow(int32_t cutLine, int32_t frameHeight, int32_t reverseRows);

// Draws the barrier across the whole width at `row`; rows outside the frame
// draw nothing or only their visible part.
void drawBarrier(cv::Mat& canvas, int row);

// Fills the background from the top-left corner and, unless that fill
// already spans the width, from the top-right corner, with value 50.
// Answers the filled area.
double fillFromTopCorners(cv::Mat& canvas);

// Turns the filled canvas into the matte in place: 255 becomes 0, then a
// 13 x 13 box blur.
void makeMatte(cv::Mat& canvas);

}  // namespace quexal::bkg
