// Following the face between detections: seven points, one at the face
// centre and three on a line above each eye, moved by pyramidal
// Lucas-Kanade flow from the previous frame to this one.
#include <cstdlib>
#include <utility>

#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include "core/numeric.h"
#include "mask/face_geometry.h"
#include "mask/face_mask.h"
#include "mask/feature_tracking.h"

namespace quexal {
namespace {

const cv::Size kFlowWindow(9, 9);
constexpr int kFlowLevels = 2;
// The flow call stops after this many iterations or below this step.
constexpr int kFlowIterations = 260;
constexpr float kFlowEpsilon = 0.001f;
// Bit of trackFlags that says the previous frame's pyramid is built.
constexpr int32_t kPreviousPyramidReady = 1;

// The flow window for a track seeded from a face `faceWidth` wide. The
// 9-px window holds up to the same face width as the loss limits; above it
// the window keeps its share of the face (odd, so it stays centred). A
// fixed window sees too little of a large, smooth face, and camera noise
// then walks the points away frame by frame.
cv::Size flowWindowFor(int32_t faceWidth) {
    if (faceWidth <= kLossLimitFaceWidth) return kFlowWindow;
    const int side = static_cast<int>(static_cast<int64_t>(kFlowWindow.width) * faceWidth /
                                      kLossLimitFaceWidth) |
                     1;
    return {side, side};
}

}  // namespace

void seedTrackPoints(const TrackSeed& s, cv::Point2f* points) {
    const int32_t rightLineY = s.rightEyeY - s.rightEyeHeight + 2;
    const int32_t leftLineY = s.leftEyeY - s.leftEyeHeight + 2;
    const int32_t xy[kTrackPoints][2] = {{s.faceX, s.faceY},
                                         {s.rightEyeX, rightLineY},
                                         {s.rightEyeX - 2, rightLineY},
                                         {s.rightEyeX + 2, rightLineY},
                                         {s.leftEyeX, leftLineY},
                                         {s.leftEyeX - 2, leftLineY},
                                         {s.leftEyeX + 2, leftLineY}};
    for (int i = 0; i < kTrackPoints; ++i)
        points[i] = {static_cast<float>(xy[i][0]), static_cast<float>(xy[i][1])};
}

TrackedFace faceFromPoints(const cv::Point2f* points) {
    int32_t x[kTrackPoints], y[kTrackPoints];
    for (int i = 0; i < kTrackPoints; ++i) {
        x[i] = roundHalfEven(points[i].x);
        y[i] = roundHalfEven(points[i].y);
    }
    TrackedFace f;
    f.faceX = x[0];
    f.faceY = y[0];
    f.rightEyeX = (x[1] + x[2] + x[3]) / 3;
    f.rightEyeY = (y[1] + y[2] + y[3]) / 3;
    f.leftEyeX = (x[4] + x[5] + x[6]) / 3;
    f.leftEyeY = (y[4] + y[5] + y[6]) / 3;
    f.eyeDistance = std::abs(f.rightEyeX - f.leftEyeX);
    f.eyeMidX = (f.leftEyeX + f.rightEyeX) / 2;
    f.eyeMidY = (f.leftEyeY + f.rightEyeY) / 2;
    f.faceAngle = angleBetween(f.rightEyeX, f.rightEyeY, f.leftEyeX, f.leftEyeY);
    return f;
}

LossLimits lossLimitsFor(int32_t faceWidth) {
    LossLimits limits;
    if (faceWidth <= kLossLimitFaceWidth) return limits;
    // 64-bit products: a face width is bounded by the frame, not by int32 / 70.
    const auto grow = [faceWidth](int32_t base) {
        return static_cast<int32_t>(static_cast<int64_t>(base) * faceWidth / kLossLimitFaceWidth);
    };
    limits.eyeLevels = grow(limits.eyeLevels);
    limits.sideways = grow(limits.sideways);
    limits.below = grow(limits.below);
    return limits;
}

bool looksLikeFace(const TrackedFace& f, const LossLimits& limits) {
    if (f.eyeDistance < limits.minEyeDistance) return false;                  // eyes run together
    if (std::abs(f.rightEyeY - f.leftEyeY) > limits.eyeLevels) return false;  // eye lines far apart
    if (std::abs(f.eyeMidX - f.faceX) > limits.sideways) return false;  // face point off to a side
    if (f.faceY - f.eyeMidY > limits.below) return false;  // face point far below the eyes
    if (f.faceY - f.eyeMidY < 0) return false;             // face point above the eyes
    return true;
}

int FaceMask::track(const uint8_t* frame) {
    if (frame == nullptr || !allocate()) return 0;

    geometry_.frameToGray(frame, trackGray);

    if (trackState == kTrackSeedPending) {
        trackFlags = 0;
        seedTrackPoints(
            {faceX, faceY, rightEyeX, rightEyeY, leftEyeX, leftEyeY, rightEyeHeight, leftEyeHeight},
            trackPoints.data());
        trackPointCount = kTrackPoints;
        trackFaceWidth = faceRight - faceLeft;
        trackState = kTrackSeeded;
    } else if (trackState == kTrackFollowing) {
        // The previous pyramid is kept from the last call, so only this
        // frame's is built (both after a seeding).
        const cv::Size window = flowWindowFor(trackFaceWidth);
        if ((trackFlags & kPreviousPyramidReady) == 0)
            trackPrevPyramid.build(trackPrevGray, window, kFlowLevels);
        trackPyramid.build(trackGray, window, kFlowLevels);
        trackPrevPyramid.deriveAround(
            {trackPrevPoints.data(), static_cast<std::size_t>(trackPointCount)});

        // Headers over the fixed buffers: the flow call writes in place.
        cv::Mat previous(trackPointCount, 1, CV_32FC2, trackPrevPoints.data());
        cv::Mat current(trackPointCount, 1, CV_32FC2, trackPoints.data());
        cv::Mat found(trackPointCount, 1, CV_8UC1, trackStatus.data());
        const cv::TermCriteria stop(cv::TermCriteria::COUNT | cv::TermCriteria::EPS,
                                    kFlowIterations, static_cast<double>(kFlowEpsilon));
        // Minimum eigenvalue 0: a point is lost only when its flow has no
        // solution, not because its neighbourhood is flat.
        cv::calcOpticalFlowPyrLK(trackPrevPyramid.imagesAndDerivatives(), trackPyramid.images(),
                                 previous, current, found, cv::noArray(), window, kFlowLevels, stop,
                                 0, 0.0);
        trackFlags |= kPreviousPyramidReady;

        // A point the flow lost stays where it was instead of jumping.
        for (int i = 0; i < trackPointCount; ++i)
            if (trackStatus[i] == 0) trackPoints[i] = trackPrevPoints[i];

        const TrackedFace f = faceFromPoints(trackPoints.data());
        faceX = f.faceX;
        faceY = f.faceY;
        rightEyeX = f.rightEyeX;
        rightEyeY = f.rightEyeY;
        leftEyeX = f.leftEyeX;
        leftEyeY = f.leftEyeY;
        eyeDistance = f.eyeDistance;
        eyeMidX = f.eyeMidX;
        eyeMidY = f.eyeMidY;
        faceAngle = f.faceAngle;
        if (!looksLikeFace(f, lossLimitsFor(trackFaceWidth))) {
            redetect = 1;
            trackState = kTrackSeeded;
        }
    }

    // This frame becomes the previous one: handles change hands, no copies.
    std::swap(trackGray, trackPrevGray);
    std::swap(trackPyramid, trackPrevPyramid);
    std::swap(trackPoints, trackPrevPoints);

    if (redetect != 0) return 0;
    if (trackState == kTrackSeeded) trackState = kTrackFollowing;
    return 1;
}

}  // namespace quexal
