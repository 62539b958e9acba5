#include "core/frame_io.h"

#include <cstring>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "session/geometry.h"

namespace quexal {

void flipRows(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height) {
    if (src == nullptr || dst == nullptr || width <= 0 || height <= 0) return;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    const uint8_t* srcRow = src + rowBytes * (height - 1);
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(dst, srcRow, rowBytes);
        dst += rowBytes;
        srcRow -= rowBytes;
    }
}

// The working images are continuous, so a frame and an image have the same
// packed layout and a copy is one block or one flip.
void FrameGeometry::frameToImage(const uint8_t* frame, cv::Mat& image) const {
    CV_Assert(image.type() == CV_8UC3 && image.isContinuous() &&
              image.total() == static_cast<std::size_t>(pixelCount));
    if (reverseRows == 1)
        flipRows(frame, image.data, width, height);
    else
        std::memcpy(image.data, frame, static_cast<std::size_t>(pixelCount) * 3);
}

void FrameGeometry::imageToFrame(const cv::Mat& image, uint8_t* frame) const {
    CV_Assert(image.type() == CV_8UC3 && image.isContinuous() &&
              image.total() == static_cast<std::size_t>(pixelCount));
    if (reverseRows == 1)
        flipRows(image.data, frame, width, height);
    else
        std::memcpy(frame, image.data, static_cast<std::size_t>(pixelCount) * 3);
}

void FrameGeometry::frameToGray(const uint8_t* frame, cv::Mat& gray) const {
    const cv::Mat host(height, width, CV_8UC3, const_cast<uint8_t*>(frame));
    cv::cvtColor(host, gray, cv::COLOR_BGR2GRAY);
    if (reverseRows == 1) cv::flip(gray, gray, 0);  // row by row, so in place
}

}  // namespace quexal

namespace quexal {

void ensureImage(cv::Mat& image, cv::Size size, int type) {
    // create() keeps the storage when size and type already match.
    image.create(size, type);
}

}  // namespace quexal
