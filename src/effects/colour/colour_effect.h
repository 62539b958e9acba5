// The colour effect: three single-pass tones and two glow pipelines that
// blur a toned copy of the frame and screen it over a saved picture.
#pragma once

#include <cstdint>

#include <opencv2/core.hpp>

#include "session/geometry.h"

namespace quexal {

class ColourEffect {
public:
    explicit ColourEffect(const FrameGeometry& geometry) : geometry_(geometry) {}

    int process(uint8_t* frame, int32_t mode);
    bool allocate();  // the glow pipelines' working image; false when memory is short
    void release();

    // The working image the glow modes blur in; sized on first need and
    // kept, so a frame costs no allocation.
    cv::Mat image;

private:
    const FrameGeometry& geometry_;
};

}  // namespace quexal
