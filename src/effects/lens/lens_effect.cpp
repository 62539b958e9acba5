#include "effects/lens/lens_effect.h"

#include <cstring>
#include <new>

#include <opencv2/imgproc.hpp>

#include "effects/lens/lens.h"
#include "quexal/quexal.h"

namespace quexal {

static_assert(kLensSwirl == QX_LENS_SWIRL && kLensMirror == QX_LENS_MIRROR &&
              kLensFunnel == QX_LENS_FUNNEL && kLensBulge == QX_LENS_BULGE &&
              kLensMagnify == QX_LENS_MAGNIFY && kLensStretch == QX_LENS_STRETCH &&
              kLensPinch == QX_LENS_PINCH);

void LensEffect::release() {
    swirlMap = {};
    remap = {};
    copy = {};
    image.release();
}

// Builds what `newMode` needs for the current size. The new tables are
// built aside and swapped in only when every allocation succeeded, so a
// failure leaves the old tables and `mode` as they were and the next call
// tries again.
bool LensEffect::buildTables(int32_t newMode) {
    try {
        if (newMode == kLensSwirl) {
            SwirlMap swirl = buildSwirlMap(geometry_.width, geometry_.height, geometry_.rowOrder());
            std::vector<uint8_t> frameCopy(static_cast<std::size_t>(geometry_.pixelCount) * 3);
            swirlSize = swirl.size;
            swirlMap = std::move(swirl.offsets);
            copy = std::move(frameCopy);
            remap = {};
        } else if (newMode >= kLensFirstDistortion) {
            // The distortion reads the untouched frame and writes the
            // working image, so it needs no copy of its own.
            remap =
                buildLensRemap(geometry_.width, geometry_.height, newMode, geometry_.rowOrder());
            copy = {};
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    mode = newMode;
    return true;
}

int LensEffect::process(uint8_t* frame, int32_t newMode, bool initialised) {
    if (mode == kLensNoSize) return QX_LENS_NOT_READY;
    if (newMode < kLensSwirl || newMode > kLensLastDistortion) return QX_LENS_BAD_MODE;
    const bool distortion = newMode >= kLensFirstDistortion;
    // The distortions blur through a working image, which a failed
    // initialisation leaves absent.
    if (distortion && !initialised) return QX_LENS_NOT_READY;
    if (newMode != mode && !buildTables(newMode)) return QX_LENS_NOT_READY;
    if (distortion) {
        try {
            ensureImage(image, geometry_.size(), CV_8UC3);
        } catch (...) {
            return QX_LENS_NOT_READY;
        }
    }

    const int32_t width = geometry_.width, height = geometry_.height;
    if (newMode == kLensSwirl) {
        std::memcpy(copy.data(), frame, copy.size());
        applySwirl(frame, copy.data(), width, height, swirlMap.data(), swirlSize,
                   geometry_.rowOrder());
    } else if (newMode == kLensMirror) {
        mirrorLeftHalf(frame, width, height);
    } else {
        // Same as remapping the frame in place, copying it into the working
        // image and blurring there, with two frame copies fewer; the frame is
        // written only once the blur has succeeded.
        applyLensRemap(frame, remap.data(), width, height, image.data, geometry_.reverseRows == 1);
        cv::GaussianBlur(image, image, cv::Size(3, 3), 0, 0, cv::BORDER_REPLICATE);
        geometry_.imageToFrame(image, frame);
    }
    return QX_DONE;
}

}  // namespace quexal
