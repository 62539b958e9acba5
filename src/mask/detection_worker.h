// Face detection on a thread of its own, so that the frames of a stream
// never wait for it. The worker holds its own detector (images, cascades,
// fields) and its own copy of the frame; the stream thread touches them
// only while no detection runs.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "session/geometry.h"

namespace quexal {

class FaceMask;

// What a finished detection found, in the fields of FaceMask it writes.
struct Detection {
    int32_t faceLeft, eyeBandTop, faceRight, eyeBandBottom, faceX, faceY;
    int32_t rightEyeX, rightEyeY, leftEyeX, leftEyeY;
    int16_t detectStage;
    int32_t rightEyeHeight, leftEyeHeight, eyeDistance, eyeMidX, eyeMidY;
    float faceAngle;
};

// The detection fields of `mask`, and the reverse.
Detection detectionOf(const FaceMask& mask);
void adoptDetection(FaceMask& mask, const Detection& d);

// The cascades and search settings a worker detects with.
struct DetectorSetup {
    std::string faceCascadePath, eyeCascadePath;
    int32_t minFacePermille = 0;
};

class DetectionWorker {
public:
    DetectionWorker();
    ~DetectionWorker();  // waits for a running detection, then ends the thread
    DetectionWorker(const DetectionWorker&) = delete;
    DetectionWorker& operator=(const DetectionWorker&) = delete;

    // Starts a detection on a copy of `frame` unless one is running or its
    // result has not been taken; answers whether it started.
    bool submit(const uint8_t* frame, const FrameGeometry& geometry, const DetectorSetup& setup);
    // The result of a finished detection, once.
    std::optional<Detection> take();
    // Drops the result of the running or finished detection without waiting.
    void discard();
    // Waits until no detection runs.
    void wait();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable changed_;
    bool pending_ = false;   // a frame waits for or is in detection
    bool finished_ = false;  // result_ holds an untaken result
    bool discardRunning_ = false;
    bool stop_ = false;
    Detection result_{};

    // Worker-side state, touched by the stream thread only while idle.
    FrameGeometry geometry_;
    std::unique_ptr<FaceMask> detector_;
    DetectorSetup loaded_;  // the cascades detector_ holds
    DetectorSetup wanted_;
    std::vector<uint8_t> frame_;
    std::thread thread_;
};

}  // namespace quexal
