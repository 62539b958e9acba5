// Puts a session in the state a detection leaves: the portrait's face,
// found at the photo's own size, moved to the middle of the frame, with the
// tracker asked to seed. At benchmark sizes the photo is too small to be
// detected and, enlarged, too large to stay tracked, so tracked-frame
// benchmarks start from here.
#pragma once

#include <opencv2/core.hpp>

#include "session/session.h"

namespace quexal::bench {

inline bool seedTrackerFromPhoto(Session& ctx, const cv::Mat& photo) {
    Session own;
    if (photo.empty() || own.init(QUEXAL_DATA_ROOT, photo.cols, -photo.rows) != 1 ||
        own.face.detect(photo.data) != kFaceAndEyes)
        return false;
    const int dx = (ctx.geometry.width - photo.cols) / 2,
              dy = (ctx.geometry.height - photo.rows) / 2;
    ctx.face.faceX = own.face.faceX + dx;
    ctx.face.faceY = own.face.faceY + dy;
    ctx.face.rightEyeX = own.face.rightEyeX + dx;
    ctx.face.rightEyeY = own.face.rightEyeY + dy;
    ctx.face.leftEyeX = own.face.leftEyeX + dx;
    ctx.face.leftEyeY = own.face.leftEyeY + dy;
    ctx.face.rightEyeHeight = own.face.rightEyeHeight;
    ctx.face.leftEyeHeight = own.face.leftEyeHeight;
    ctx.face.eyeDistance = own.face.eyeDistance;
    ctx.face.eyeMidX = own.face.eyeMidX + dx;
    ctx.face.eyeMidY = own.face.eyeMidY + dy;
    ctx.face.faceAngle = own.face.faceAngle;
    ctx.face.detectStage = 4;
    ctx.face.redetect = 0;
    ctx.face.trackState = -1;
    return true;
}

}  // namespace quexal::bench
