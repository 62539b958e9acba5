// The arithmetic of feature tracking, free of images: where the seven
// points start, what face geometry they describe, and when that geometry
// no longer looks like a face.
#pragma once

#include <cstdint>

#include <opencv2/core/types.hpp>

namespace quexal {

// Points followed: the face centre, then three above each eye.
inline constexpr int kTrackPoints = 7;

// The detection fields the points are seeded from.
struct TrackSeed {
    int32_t faceX, faceY, rightEyeX, rightEyeY, leftEyeX, leftEyeY;
    int32_t rightEyeHeight, leftEyeHeight;
};

// The face geometry fields taken from tracked points.
struct TrackedFace {
    int32_t faceX = 0, faceY = 0;
    int32_t rightEyeX = 0, rightEyeY = 0, leftEyeX = 0, leftEyeY = 0;
    int32_t eyeDistance = 0, eyeMidX = 0, eyeMidY = 0;
    float faceAngle = 0.0f;
};

// Writes the kTrackPoints seed positions: the face point, then for each eye
// three points 2 pixels apart on a line one eye height (less 2) above it.
void seedTrackPoints(const TrackSeed& seed, cv::Point2f* points);

// Geometry of kTrackPoints points, each coordinate rounded halves to even.
TrackedFace faceFromPoints(const cv::Point2f* points);

// Distances of the loss test, in pixels. These values hold for faces
// up to kLossLimitFaceWidth wide: the track lines sit near the top of the
// eye search region, 25 px below the face window's top, while the face
// point lies half the (square) window plus 10 px below that top, so the
// face point is about width / 2 - 15 below the lines, and reaches the
// 70 px limit at a width of 2 * (70 + 15) = 170. Wider faces grow every
// distance in proportion to their width; the eyes' least distance stays.
struct LossLimits {
    int32_t minEyeDistance = 16;  // eyes closer than this run together
    int32_t eyeLevels = 50;       // most the two eye lines may differ in y
    int32_t sideways = 70;        // most the eye midpoint may stray from the face point
    int32_t below = 70;           // most the face point may lie below the eye midpoint
};
inline constexpr int32_t kLossLimitFaceWidth = 170;

// The limits for a track seeded from a face `faceWidth` pixels wide.
LossLimits lossLimitsFor(int32_t faceWidth);

// False once the tracked geometry has stopped looking like a face.
bool looksLikeFace(const TrackedFace& face, const LossLimits& limits = {});

}  // namespace quexal
