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

// False once the tracked geometry has stopped looking like a face.
bool looksLikeFace(const TrackedFace& face);

}  // namespace quexal
