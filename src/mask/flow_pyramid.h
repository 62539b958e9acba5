// The image pyramid the tracker's flow runs on. The image levels are
// OpenCV's own (buildOpticalFlowPyramid). The flow also reads Scharr
// derivatives of the previous frame, but only in a window around each
// point it starts from; they are computed just there instead of over whole
// levels, which at 1920x1080 was most of a tracked frame's time. Each
// derivative level keeps OpenCV's layout, a zero border of the window's
// size around the level, so the flow reads exactly what it would read from
// a pyramid built with derivatives.
#pragma once

#include <span>
#include <vector>

#include <opencv2/core.hpp>

namespace quexal {

class FlowPyramid {
public:
    // The image levels of `gray` (up to `maxLevel`, fewer for a small image).
    void build(const cv::Mat& gray, cv::Size window, int maxLevel);
    bool built() const { return !images_.empty(); }
    void clear();

    // Makes the derivatives the flow reads for points starting at `points`.
    void deriveAround(std::span<const cv::Point2f> points);

    // Image levels only: the pyramid of the frame the points move to.
    const std::vector<cv::Mat>& images() const { return images_; }
    // Image and derivative levels interleaved: the pyramid of the frame the
    // points start from, valid after deriveAround.
    const std::vector<cv::Mat>& imagesAndDerivatives() const { return interleaved_; }

private:
    cv::Size window_;
    std::vector<cv::Mat> images_;
    std::vector<cv::Mat> paddedDerivatives_;  // zero border kept from creation
    std::vector<cv::Mat> interleaved_;
};

// OpenCV's Scharr derivative pair (d/dx, d/dy) of the flow, for the pixels
// of `region` (clipped to the level), written into `derivatives` (CV_16SC2,
// the level's size). Rows and columns beyond an edge mirror the ones inside
// it, as OpenCV does.
void scharrInRegion(const cv::Mat& level, cv::Rect region, cv::Mat& derivatives);

}  // namespace quexal
