// The colour effect: three single-pass tones and two glow pipelines that
// blur a toned copy of the frame and screen it over a saved picture.
#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "session/geometry.h"

namespace quexal {

class ColourEffect {
public:
    explicit ColourEffect(const FrameGeometry& geometry) : geometry_(geometry) {}

    int process(uint8_t* frame, int32_t mode);
    bool allocate();  // the glow pipelines' two frames; false when memory is short
    void release();

    // Copy of the frame for the screen blend of the glow modes, and the
    // working image the blur runs on; sized on first need and kept, so a
    // frame costs no allocation.
    std::vector<uint8_t> copy;
    cv::Mat image;

private:
    void glow(uint8_t* frame);      // mode 18
    void softGrey(uint8_t* frame);  // mode 24
    const FrameGeometry& geometry_;
};

}  // namespace quexal
