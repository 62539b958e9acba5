// Frames with a portrait placed as a camera close to the face would show it.
#pragma once

#include <opencv2/imgproc.hpp>

namespace quexal::test {

// The photo enlarged to `share` of the frame height, centred, moved by
// (dx, dy) on a plain ground.
inline cv::Mat closeUp(const cv::Mat& photo, cv::Size frame, double share, int dx = 0, int dy = 0) {
    const int h = static_cast<int>(frame.height * share), w = photo.cols * h / photo.rows;
    cv::Mat scaled;
    cv::resize(photo, scaled, {w, h}, 0, 0, cv::INTER_LINEAR);
    cv::Mat out(frame, CV_8UC3, cv::Scalar(90, 100, 110));
    const cv::Rect at((frame.width - w) / 2 + dx, (frame.height - h) / 2 + dy, w, h);
    const cv::Rect inside = at & cv::Rect({}, frame);
    scaled(inside - at.tl()).copyTo(out(inside));
    return out;
}

}  // namespace quexal::test
