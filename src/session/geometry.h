// The frame geometry every effect of a session shares: the size of the
// last accepted initialisation and which way up the host stores its rows.
#pragma once

#include <cstdint>

#include <opencv2/core.hpp>

#include "core/row_order.h"

namespace quexal {

struct FrameGeometry {
    int32_t width = 0;
    int32_t height = 0;  // always positive
    int32_t pixelCount = 0;
    int32_t reverseRows = 0;  // 1: the host's rows run bottom to top

    // A size has been accepted at least once.
    bool accepted() const { return pixelCount > 0; }
    cv::Size size() const { return {width, height}; }
    RowOrder rowOrder() const { return rowOrderOf(reverseRows); }

    // Copies between the host's buffer and a continuous working image of
    // this size (8UC3, top row first): one block, or one flip.
    void frameToImage(const uint8_t* frame, cv::Mat& image) const;
    void imageToFrame(const cv::Mat& image, uint8_t* frame) const;
    // The host's frame as a grey working image, top row first: converted
    // straight from the host's buffer, then flipped when its rows run
    // bottom first (a third of the bytes a colour copy would move).
    void frameToGray(const uint8_t* frame, cv::Mat& gray) const;
};

// Makes `image` a continuous image of `size` and `type`, reusing its
// storage when it already is one.
void ensureImage(cv::Mat& image, cv::Size size, int type);

}  // namespace quexal
