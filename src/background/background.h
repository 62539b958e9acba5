// Background replacement: the reference snapshot of the empty scene, the
// source that replaces the background (a picture or a looping video), the
// segmentation of each frame against the reference and the composite.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "background/exposure.h"
#include "session/geometry.h"

namespace quexal {

class VideoReader;

// How far the effect has been set up; processing answers state - 1 until a
// source is chosen.
enum BackgroundState : int32_t {
    kNoReference = -1,  // no snapshot of the empty scene
    kNoSource = 0,      // a snapshot, no source yet
    kVideoSource = 1,
    kPictureSource = 2,
};

class Background {
public:
    explicit Background(const FrameGeometry& geometry);
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    // Forgets reference and source for a new frame size.
    void reset();
    // Allocates the images at the current size; false when memory is short
    // (nothing is then held).
    bool allocate();
    void release();

    int snapshot(const uint8_t* frame, int32_t width, int32_t height);
    int setVideo(const char* path);
    int setPicture(const uint8_t* data, int32_t width, int32_t height);
    int process(uint8_t* frame, int32_t halo, int32_t haloColor, int32_t cutLine);

    // Matte of `image` (the frame, top row first) into `mask`; answers the
    // area of the filled background.
    double segment(int32_t cutLine);
    // 1, or the result process answers.
    int fetchVideoFrame();

    // Option "exposure_compensation": follow the camera's exposure changes
    // since the snapshot before comparing (off: the plain comparison).
    bool exposureCompensation = false;
    bkg::ExposureTracker exposure;

    BackgroundState state = kNoReference;
    // All continuous, top row first, of the frame size.
    cv::Mat image;                // the frame being replaced
    cv::Mat mask, blurred, gray;  // matte, blurred frame, union of differences
    cv::Mat reference, referenceBright, referenceDark;  // the blurred snapshot, +20, -20
    cv::Mat picture, haloLayer;                         // the replacement, and the halo (8UC4)
    cv::Mat videoFrame;                // a video frame of another size, top row first
    std::vector<uint8_t> videoBuffer;  // the reader's latest frame, reused per frame
    std::unique_ptr<VideoReader> video;
    int32_t videoWidth = 0, videoHeight = 0;

private:
    bool allocated() const { return !reference.empty(); }
    // The references the frame is compared with: the snapshot's, or their
    // exposure-corrected copies.
    struct References {
        const cv::Mat &plain, &bright, &dark;
    };
    References comparisonReferences();
    // `mask` holds the matte of a frame that found enough background.
    bool matteValid_ = false;
    void stopVideo();
    const FrameGeometry& geometry_;
};

}  // namespace quexal
