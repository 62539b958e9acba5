// The face mask: the registered picture, the face and eye detection, the
// tracker that follows the face between detections, and the driver that
// places, steadies and draws the overlay (or obscures the eye band).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "mask/cascade/cascade_search.h"
#include "mask/detection_worker.h"
#include "mask/flow_pyramid.h"
#include "mask/mask_placement.h"
#include "mask/mask_rendering.h"
#include "session/geometry.h"

namespace quexal {

// The reduced detection image is the frame size divided by this factor,
// held as a 32-bit float.
inline constexpr float kDetectScale = 1.3f;

// The smallest face searched for, in thousandths of the frame width, that
// stands for the default search window: a sixth of the frame's width and
// height, applied to the reduced image (1.3 / 6 of the width).
inline constexpr int32_t kDefaultMinFacePermille = 217;

// Number of points the tracking buffers hold.
inline constexpr int kTrackCapacity = 20;

// How far the last detection got.
enum DetectStage : int16_t {
    kNoFace = 0,
    kFaceFound = 1,    // a face, no eye yet
    kOneEye = 2,       // the eye in the image's left half
    kFaceAndEyes = 4,  // face and both eyes: usable
};

// Tracker states.
enum TrackState : int32_t {
    kTrackSeedPending = -1,  // seed the points from the detection next frame
    kTrackSeeded = 0,        // points seeded (or lost), no flow run yet
    kTrackFollowing = 1,
};

class FaceMask {
public:
    explicit FaceMask(const FrameGeometry& geometry) : geometry_(geometry) {}

    // Forgets detection and tracking for a new frame size; the picture stays.
    void reset();
    bool allocate();  // false when memory is short (nothing is then held)
    void release();

    // Registration: a copy of the host's picture (see quexal.h).
    int setPicture(const uint8_t* pixels, int32_t width, int32_t height, int32_t kind,
                   int32_t magic);
    static int testPicture(int32_t width, int32_t height, int32_t kind, int32_t magic);
    bool holdsPicture() const { return !maskPixels.empty(); }

    // The next frame detects the face afresh instead of tracking it.
    void rearmDetection() {
        redetect = 1;
        trackState = kTrackSeedPending;
        if (worker) worker->discard();
    }

    // Detection on a worker thread (frames never wait for it) or on the
    // stream's own thread (the default).
    void setAsyncDetect(bool on);
    // Smallest window of the face search, in reduced-image pixels.
    cv::Size minFaceWindow() const;

    int process(uint8_t* frame, int32_t mode);
    int detect(const uint8_t* frame);  // stage reached: 0, 1, 2 or 4
    int track(const uint8_t* frame);   // 1 while the track holds, 0 when lost

    CascadeSearch faceCascade, eyeCascade;
    // A second copy of the eye cascade for the image-right eye, so that both
    // eye searches can run at once; when empty they take turns on eyeCascade.
    CascadeSearch rightEyeCascade;
    bool eyeSearchesTogether = true;
    int32_t minFacePermille = kDefaultMinFacePermille;
    // Where the cascades came from, for a worker that loads its own.
    std::string faceCascadePath, eyeCascadePath;
    std::unique_ptr<DetectionWorker> worker;  // set while detection is asynchronous
    float detectScale = kDetectScale;

    // Working images, all continuous, top row first.
    cv::Mat frameImage, grayImage, smallGrayImage;

    // ---- Detection ---------------------------------------------------------
    cv::Mat eyeCrop1, eyeCrop2, eyeCrop2Large, eyeCrop1Large;
    std::vector<cv::Rect> faceWindows, leftEyeWindows, rightEyeWindows;  // kept between detections
    int32_t faceLeft = 0, eyeBandTop = 0, faceRight = 0, eyeBandBottom = 0;
    int32_t faceX = 0, faceY = 0;
    int32_t rightEyeX = 0, rightEyeY = 0, leftEyeX = 0, leftEyeY = 0;
    int16_t detectStage = kNoFace;
    int32_t rightEyeHeight = 0, leftEyeHeight = 0;
    int32_t eyeDistance = 0, eyeMidX = 0, eyeMidY = 0;
    float faceAngle = 0.0f;
    int32_t redetect = 0;

    // ---- Picture and driver -----------------------------------------------
    int32_t maskKind = 0;
    float maskAspect = 0.0f;
    SmoothState smoothing;            // the overlay filter's history
    std::vector<uint8_t> maskPixels;  // empty while no picture is held
    int32_t maskWidth = 0, maskHeight = 0;
    MaskScratch maskScratch;  // drawing storage reused from frame to frame

    // ---- Tracking ------------------------------------------------------------
    int32_t trackState = kTrackSeeded, trackFlags = 0;
    cv::Mat trackGray, trackPrevGray;  // this frame and the last, grey, top row first
    FlowPyramid trackPyramid, trackPrevPyramid;
    std::vector<cv::Point2f> trackPrevPoints, trackPoints;
    std::vector<uint8_t> trackStatus;
    int32_t trackPointCount = 0;
    int32_t trackFaceWidth = 0;  // width of the detected face the points were seeded from

private:
    bool adoptWorkerDetection(const uint8_t* frame);
    bool allocated() const { return !frameImage.empty(); }
    const FrameGeometry& geometry_;
};

}  // namespace quexal
