// Puts a context in the state a detection leaves: the portrait's face,
// found at the photo's own size, moved to the middle of the frame, with the
// tracker asked to seed. At benchmark sizes the photo is too small to be
// detected and, enlarged, too large to stay tracked, so tracked-frame
// benchmarks start from here.
#pragma once

#include <opencv2/core.hpp>

#include "core/effect_context.h"

namespace quexal::bench {

inline bool seedTrackerFromPhoto(EffectContext& ctx, const cv::Mat& photo) {
    EffectContext own;
    if (photo.empty() || own.init(QUEXAL_DATA_ROOT, photo.cols, -photo.rows) != 1 ||
        own.detectFace(photo.data) != 4)
        return false;
    const int dx = (ctx.frameWidth - photo.cols) / 2, dy = (ctx.frameHeight - photo.rows) / 2;
    ctx.faceX = own.faceX + dx;
    ctx.faceY = own.faceY + dy;
    ctx.rightEyeX = own.rightEyeX + dx;
    ctx.rightEyeY = own.rightEyeY + dy;
    ctx.leftEyeX = own.leftEyeX + dx;
    ctx.leftEyeY = own.leftEyeY + dy;
    ctx.rightEyeHeight = own.rightEyeHeight;
    ctx.leftEyeHeight = own.leftEyeHeight;
    ctx.eyeDistance = own.eyeDistance;
    ctx.eyeMidX = own.eyeMidX + dx;
    ctx.eyeMidY = own.eyeMidY + dy;
    ctx.faceAngle = own.faceAngle;
    ctx.detectStage = 4;
    ctx.redetect = 0;
    ctx.trackState = -1;
    return true;
}

}  // namespace quexal::bench
