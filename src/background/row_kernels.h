// Fused row loops of the segmentation: each replaces a chain of whole-image
// OpenCV calls by one pass over the rows that gives the same bytes.
#pragma once

#include <opencv2/core.hpp>

namespace quexal::bkg {

// 5 x 5 box blur of an 8UC3 image with replicated borders: the bytes of
// cv::blur(src, dst, {5, 5}, {-1, -1}, BORDER_REPLICATE), the window sum
// rounded to the nearest multiple of 25 (never a tie). `dst` must be
// allocated at the size of `src` and not share its data.
void boxBlur5(const cv::Mat& src, cv::Mat& dst);

// The raw foreground: 255 where any of the three comparisons of the blurred
// frame `blurred` finds a grey difference above the threshold, 0 elsewhere.
// The comparisons are the frame against `plain`, the frame brightened by 12
// against `bright`, and that brightened frame darkened by 24 against `dark`
// (each step saturating), as segmentation describes them. `foreground` is
// an allocated 8UC1 image of the same size.
void differenceUnion(const cv::Mat& blurred, const cv::Mat& plain, const cv::Mat& bright,
                     const cv::Mat& dark, cv::Mat& foreground);

}  // namespace quexal::bkg
