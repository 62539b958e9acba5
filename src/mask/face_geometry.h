// The arithmetic of face detection, free of images and cascades: grouping
// of raw face windows, the eye band, the eye regions and the averaging of
// eye windows. Every division truncates toward zero.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include <opencv2/core/types.hpp>

namespace quexal {

// Raw cascade windows farther than this from the origin abandon the search.
inline constexpr int32_t kCandidateBound = 2000;

// Two top-left corners closer than this on both axes belong to one face.
inline constexpr int32_t kGroupReach = 70;

// A rectangle by its edges, in full-frame pixels.
struct Box {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Box&) const = default;
};

// Face and eye-band fields derived from the chosen face.
struct FaceBand {
    int32_t faceLeft = 0, eyeBandTop = 0, faceRight = 0, eyeBandBottom = 0;
    int32_t faceX = 0, faceY = 0;
    bool operator==(const FaceBand&) const = default;
};

// The two eye search regions in full-frame pixels. A region with no width
// or height is empty and cannot be searched.
struct EyeRegions {
    cv::Rect imageLeft, imageRight;
    int32_t eyeTop = 0;
};

// Mean of the eye windows found in one region, in the region's pixels.
struct EyeMean {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Puts raw cascade windows into the order of a scan from the smallest
// window up, row by row: the grouping below depends on that order.
void sortInScanOrder(std::vector<cv::Rect>& windows);

// Edge of a reduced-image coordinate in the full frame: the product with
// the float scale, in double precision, truncated.
int32_t scaleEdge(int32_t value, float scale);

// One-pass grouping of raw face windows (reduced-image pixels) by their
// top-left corners, scaled to the full frame. Answers the mean box of the
// group with the most members (the earliest to reach that count on a tie),
// or nothing when there is no window or one lies beyond kCandidateBound.
std::optional<Box> groupFaceWindows(std::span<const cv::Rect> windows, float scale);

// Face centre and eye band of a chosen face box.
FaceBand faceBandOf(const Box& face);

// Image-left and image-right eye regions below the band's top.
EyeRegions eyeRegionsOf(const FaceBand& band);

// Mean of eye windows found in a twice-enlarged crop, halved back to crop
// pixels. With checkBounds, a window beyond kCandidateBound gives nothing.
std::optional<EyeMean> meanEyeWindow(std::span<const cv::Rect> windows, bool checkBounds);

// Tilt of the line from a to b in radians, in -pi/2..pi/2, independent of
// which point is further left; 0 for points at the same height.
float angleBetween(int32_t ax, int32_t ay, int32_t bx, int32_t by);

}  // namespace quexal
