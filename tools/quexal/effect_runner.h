#pragma once

#include <string>

#include <opencv2/core.hpp>

#include "effect_choice.h"
#include "library_host.h"

namespace qxcli {

// What the library answered. message is empty when the call was accepted.
struct Outcome {
    int code = 1;
    std::string message;
    bool ok() const { return message.empty(); }
};

// A mask picture file as 4-byte BGRA pixels (an opaque alpha is added to
// pictures without one). Throws HostError when it cannot be read.
cv::Mat loadMaskPicture(const std::string& path);

// Drives one effect through the library for a stream of frames. The library
// must have been initialised for the frame size first.
class EffectRunner {
public:
    EffectRunner(EffectChoice choice, EffectOptions options, RowOrder order);

    // A picture to register instead of options.picture (BGRA).
    void setMaskPicture(cv::Mat bgra) { maskPicture_ = std::move(bgra); }

    // Registers the mask picture, or takes the reference snapshot and sets
    // the background source. firstFrame is the first input frame, top-down.
    // `camera`: frames come live, so face detection runs beside them unless
    // the options say otherwise.
    Outcome prepare(const cv::Mat& firstFrame, bool camera = false);

    // Applies the effect to one top-down BGR frame in place.
    Outcome apply(cv::Mat& frame);

    const EffectChoice& choice() const { return choice_; }

    // Background frames composited although less than 15 % was background.
    int littleBackgroundFrames() const { return littleBackground_; }
    // Mask and eye frames the library changed (it leaves a frame without a
    // face untouched).
    int drawnFrames() const { return drawn_; }

private:
    Outcome prepareMask();
    Outcome prepareBackground(const cv::Mat& firstFrame);
    Outcome waitForVideoFrame(const cv::Mat& firstFrame);
    int callLibrary(uint8_t* frame) const;
    Outcome judge(int code) const;

    EffectChoice choice_;
    EffectOptions options_;
    RowOrder order_;
    cv::Mat maskPicture_;
    bool videoSource_ = false;
    int littleBackground_ = 0;
    int drawn_ = 0;
    Outcome setOptions(bool camera);
};

}  // namespace qxcli
