// Where the mask goes: the second-order smoothing filter, and the overlay
// rectangle and angle for each mask kind and for the eye band, from the face
// measurements. Pure functions over plain values.
#pragma once

#include <cstdint>

namespace quexal {

// Mask kinds as registered with the picture.
enum MaskKind : int32_t {
    kMaskAboveFace = 1,    // hat, glasses: centred 0.45 S above the face point
    kMaskOnFacePoint = 2,  // centred 0.15 S above the smoothed face point, not swung
    kMaskBelowEyes = 3,    // centred 0.2 S below the eye line
    kMaskOnEyes = 4,       // centred on the eye line
    kMaskWide = 8,         // 4.4 eye distances wide, 0.2 S above the face point
};

// Eye band strengths per mode.
inline constexpr int32_t kPixelateMode = 1;
inline constexpr int32_t kBlurMode = 2;
inline constexpr int32_t kPixelateStrength = 8;
inline constexpr int32_t kBlurStrength = 15;

// Largest overlay width or height that is drawn.
inline constexpr int32_t kMaxOverlaySide = 1000;

// What one frame measured of the face.
struct FaceMeasure {
    int32_t faceX, faceY;      // face point F
    int32_t eyeMidX, eyeMidY;  // eye midpoint M
    int32_t eyeDistance;       // E
    float faceAngle;           // tilt of the eye line, radians
};

// Filter history carried from frame to frame. A zero value means no history.
struct SmoothState {
    int32_t x = 0, y = 0, velX = 0, velY = 0;
    int32_t size = 0, sizeVel = 0, angleVel = 0;
    float angle = 0.0f;
};

// A rectangle and angle handed to the renderer.
struct Overlay {
    int32_t left, top, width, height;
    float angle;
};

// One step of the integer filter: with no history (value 0) the measurement
// is taken as is; otherwise the value moves by its velocity plus half the
// new acceleration. Updates value and velocity, answers the new value.
int32_t smoothStep(int32_t& value, int32_t& velocity, int32_t measurement);

// The same filter for the angle, with an integer velocity.
float angleStep(float& angle, int32_t& velocity, float measurement);

// The overlay centre for an upright head at height yc, turned by `angle`
// about the pivot (cx, faceY), where cx is midway between eyes and face point.
struct Point32 {
    int32_t x, y;
};
Point32 swingAboutFace(const FaceMeasure& face, int32_t yc, float angle);

// Places the picture for `kind`, advancing the filter. Answers false, with
// the filter untouched, for a kind that has no placement or an aspect ratio
// that is not positive.
bool placeOverlay(int32_t kind, const FaceMeasure& face, float aspect, SmoothState& smooth,
                  Overlay& overlay);

// Places the band across the eyes, advancing the filter; the band's angle is
// the raw face angle.
Overlay placeEyeBand(const FaceMeasure& face, SmoothState& smooth);

// True when an overlay of this size is drawn.
inline bool overlayInRange(const Overlay& o, int32_t maxSide = kMaxOverlaySide) {
    return o.width >= 0 && o.width <= maxSide && o.height >= 0 && o.height <= maxSide;
}

// The 1000-px side limit holds for faces up to this wide. The eye centres
// sit mid-way across the two eye regions, W / 2 - 5 apart for a face window
// W wide, and the widest placement (kind 8) is 4.4 eye distances, that is
// 2.2 W - 22: 464 is the widest face whose overlay stays within 1000.
inline constexpr int32_t kOverlayLimitFaceWidth = 464;

// Side limit for a face detected `faceWidth` pixels wide: 1000 px up to that,
// grown in proportion for wider faces so that a face close to a large
// frame is still drawn.
inline int32_t maxOverlaySideFor(int32_t faceWidth) {
    if (faceWidth <= kOverlayLimitFaceWidth) return kMaxOverlaySide;
    return static_cast<int32_t>(static_cast<int64_t>(kMaxOverlaySide) * faceWidth /
                                kOverlayLimitFaceWidth);
}

}  // namespace quexal
