#include "mask/mask_placement.h"

#include <cmath>

#include "core/numeric.h"

namespace quexal {
namespace {

// k percent of an integer size, as the integer k * size times the double
// 0.01 (in that order, so 45 * 200 * 0.01 is 9000 * 0.01).
double percentOf(int32_t k, int32_t size) {
    return static_cast<double>(static_cast<int64_t>(k) * size) * 0.01;
}

// Overlay width from the width measurement; the height follows the
// picture's aspect ratio.
void stepSize(SmoothState& smooth, int32_t measurement, float aspect, int32_t& width,
              int32_t& height) {
    width = smoothStep(smooth.size, smooth.sizeVel, measurement);
    height = truncToInt(width / static_cast<double>(aspect));
}

// Centre smoothed in both coordinates.
Point32 stepCentre(SmoothState& smooth, Point32 p) {
    const int32_t x = smoothStep(smooth.x, smooth.velX, p.x);
    const int32_t y = smoothStep(smooth.y, smooth.velY, p.y);
    return {x, y};
}

bool isPlacedKind(int32_t kind) {
    switch (kind) {
        case kMaskAboveFace:
        case kMaskOnFacePoint:
        case kMaskBelowEyes:
        case kMaskOnEyes:
        case kMaskWide: return true;
        default: return false;
    }
}

}  // namespace

int32_t smoothStep(int32_t& value, int32_t& velocity, int32_t measurement) {
    if (value == 0) {
        value = measurement;
        return measurement;
    }
    // 32-bit integer arithmetic, computed wide and narrowed so that it wraps
    // as 32-bit registers would rather than overflowing.
    const int32_t twice = static_cast<int32_t>(
        2 * (static_cast<int64_t>(measurement) - 2 * static_cast<int64_t>(velocity) - value));
    const int32_t accel = twice / 4;
    const int32_t coast = static_cast<int32_t>(static_cast<int64_t>(value) + velocity);
    const int32_t result = truncToInt(coast + 0.5 * accel);
    velocity = static_cast<int32_t>(static_cast<int64_t>(velocity) + accel);
    value = result;
    return result;
}

float angleStep(float& angle, int32_t& velocity, float measurement) {
    float result = measurement;
    if (angle != 0.0f) {
        const double previous = angle;
        const float accel =
            asFloat32(((static_cast<double>(measurement) - previous) - 2.0 * velocity) * 2 * 0.25);
        result =
            asFloat32((static_cast<double>(static_cast<float>(velocity)) + previous) + 0.5 * accel);
        velocity = truncToInt(velocity + static_cast<double>(accel));
    }
    angle = result;
    return result;
}

Point32 swingAboutFace(const FaceMeasure& face, int32_t yc, float angle) {
    const int32_t cx = (face.eyeMidX + face.faceX) / 2;
    const int32_t d = face.faceY - yc;
    const float sine = asFloat32(std::sin(static_cast<double>(angle)));
    const float cosine = asFloat32(std::cos(static_cast<double>(angle)));
    return {truncToInt(cx - static_cast<double>(sine) * d),
            truncToInt(yc + (1.0 - static_cast<double>(cosine)) * d)};
}

bool placeOverlay(int32_t kind, const FaceMeasure& face, float aspect, SmoothState& smooth,
                  Overlay& overlay) {
    if (!isPlacedKind(kind) || !(aspect > 0.0f)) return false;

    const int32_t e = face.eyeDistance;
    const float theta = face.faceAngle;
    int32_t s = 0, h = 0;
    float phi = theta;
    Point32 centre{};

    switch (kind) {
        case kMaskAboveFace: {
            stepSize(smooth, 4 * e, aspect, s, h);
            const int32_t yc = truncToInt(face.faceY - percentOf(45, s));
            phi = angleStep(smooth.angle, smooth.angleVel, theta);
            centre = stepCentre(smooth, swingAboutFace(face, yc, phi));
            break;
        }
        case kMaskOnFacePoint: {
            // The smoothed face point is kept as history; the centre is
            // raised from it and the picture only turned, not swung.
            const int32_t x = smoothStep(smooth.x, smooth.velX, face.faceX);
            const int32_t y0 = smoothStep(smooth.y, smooth.velY, face.faceY);
            stepSize(smooth, 4 * e, aspect, s, h);
            centre = {x, truncToInt(y0 - percentOf(15, s))};
            phi = angleStep(smooth.angle, smooth.angleVel, theta);
            break;
        }
        case kMaskBelowEyes: {
            stepSize(smooth, 2 * e, aspect, s, h);
            const int32_t yc = truncToInt(face.eyeMidY + percentOf(20, s));
            centre = stepCentre(smooth, swingAboutFace(face, yc, theta));
            break;
        }
        case kMaskOnEyes: {
            stepSize(smooth, 2 * e, aspect, s, h);
            centre = stepCentre(smooth, swingAboutFace(face, face.eyeMidY, theta));
            break;
        }
        case kMaskWide: {
            const float phi1 = angleStep(smooth.angle, smooth.angleVel, theta);
            stepSize(smooth, truncToInt(e * 4.4), aspect, s, h);
            const int32_t yc = truncToInt(face.faceY - percentOf(20, s));
            // A second pass over its own result cancels the angle velocity.
            phi = phi1 != 0.0f ? angleStep(smooth.angle, smooth.angleVel, phi1) : phi1;
            centre = stepCentre(smooth, swingAboutFace(face, yc, phi));
            break;
        }
    }

    overlay = {centre.x - s / 2, centre.y - h / 2, s, h, phi};
    return true;
}

Overlay placeEyeBand(const FaceMeasure& face, SmoothState& smooth) {
    const int32_t measurement = truncToInt(static_cast<double>(10 * face.eyeDistance) * 0.1 + 60);
    const int32_t s = smoothStep(smooth.size, smooth.sizeVel, measurement);
    // The band grows with the tilt so that tilted eyes stay covered.
    const float tilt = std::fabs(face.faceAngle);
    const int32_t hb = truncToInt(30 * static_cast<double>(tilt) + (percentOf(20, s) + 24));
    const int32_t yc = truncToInt(face.eyeMidY + percentOf(15, s));
    const Point32 centre = stepCentre(smooth, swingAboutFace(face, yc, face.faceAngle));
    return {centre.x - s / 2, centre.y - hb / 2, s, hb, face.faceAngle};
}

}  // namespace quexal
