#include "mask/flow_pyramid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <opencv2/video/tracking.hpp>

namespace quexal {
namespace {

// The neighbour before and after `i` along an axis of `n` pixels, the edge
// mirrored without repeating it (reflect 101); a single pixel is its own.
int before(int i, int n) {
    return i > 0 ? i - 1 : n > 1 ? 1 : 0;
}
int after(int i, int n) {
    return i < n - 1 ? i + 1 : n > 1 ? n - 2 : 0;
}

}  // namespace

void scharrInRegion(const cv::Mat& level, cv::Rect region, cv::Mat& derivatives) {
    region &= cv::Rect(0, 0, level.cols, level.rows);
    const int cols = level.cols;
    for (int y = region.y; y < region.y + region.height; ++y) {
        const uint8_t* above = level.ptr<uint8_t>(before(y, level.rows));
        const uint8_t* row = level.ptr<uint8_t>(y);
        const uint8_t* below = level.ptr<uint8_t>(after(y, level.rows));
        // Smoothed down the column (3, 10, 3) for d/dx, differenced down it for d/dy.
        const auto smooth = [&](int x) { return (above[x] + below[x]) * 3 + row[x] * 10; };
        const auto rise = [&](int x) { return below[x] - above[x]; };
        int16_t* out = derivatives.ptr<int16_t>(y);
        for (int x = region.x; x < region.x + region.width; ++x) {
            const int l = before(x, cols), r = after(x, cols);
            out[2 * x] = static_cast<int16_t>(smooth(r) - smooth(l));
            out[2 * x + 1] = static_cast<int16_t>((rise(r) + rise(l)) * 3 + rise(x) * 10);
        }
    }
}

void FlowPyramid::build(const cv::Mat& gray, cv::Size window, int maxLevel) {
    window_ = window;
    const int top = cv::buildOpticalFlowPyramid(gray, images_, window, maxLevel, false);
    images_.resize(static_cast<std::size_t>(top) + 1);
}

void FlowPyramid::clear() {
    images_.clear();
    paddedDerivatives_.clear();
    interleaved_.clear();
}

void FlowPyramid::deriveAround(std::span<const cv::Point2f> points) {
    paddedDerivatives_.resize(images_.size());
    interleaved_.clear();
    for (std::size_t level = 0; level < images_.size(); ++level) {
        const cv::Mat& image = images_[level];
        cv::Mat& padded = paddedDerivatives_[level];
        const cv::Size paddedSize(image.cols + 2 * window_.width, image.rows + 2 * window_.height);
        if (padded.size() != paddedSize) padded = cv::Mat::zeros(paddedSize, CV_16SC2);
        cv::Mat derivatives =
            padded(cv::Rect(window_.width, window_.height, image.cols, image.rows));

        // The flow reads a window's width and height (plus one) from the
        // floor of each point less half a window, with the points scaled to
        // the level as it scales them; a window's margin each way covers it.
        const float scale = static_cast<float>(1.0 / (1 << level));
        float left = 0, top = 0, right = 0, bottom = 0;
        bool finite = true;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const cv::Point2f p = points[i] * scale;
            finite = finite && std::isfinite(p.x) && std::isfinite(p.y);
            left = i == 0 ? p.x : std::min(left, p.x);
            right = i == 0 ? p.x : std::max(right, p.x);
            top = i == 0 ? p.y : std::min(top, p.y);
            bottom = i == 0 ? p.y : std::max(bottom, p.y);
        }
        cv::Rect region(0, 0, image.cols, image.rows);  // whole level when in doubt
        const float reach = static_cast<float>(image.cols + image.rows);
        if (finite && !points.empty() && std::max(std::fabs(left), std::fabs(right)) < reach &&
            std::max(std::fabs(top), std::fabs(bottom)) < reach) {
            const int x0 = static_cast<int>(std::floor(left)) - window_.width - 1;
            const int y0 = static_cast<int>(std::floor(top)) - window_.height - 1;
            const int x1 = static_cast<int>(std::floor(right)) + window_.width + 2;
            const int y1 = static_cast<int>(std::floor(bottom)) + window_.height + 2;
            region = cv::Rect(x0, y0, x1 - x0, y1 - y0);
        }
        scharrInRegion(image, region, derivatives);
        interleaved_.push_back(image);
        interleaved_.push_back(derivatives);
    }
}

}  // namespace quexal
