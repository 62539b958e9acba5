#include "effects/colour/colour_effect.h"
#include "effects/colour/colour_glow.h"
#include "effects/colour/colour_tones.h"
#include "quexal/quexal.h"

namespace quexal {

bool ColourEffect::allocate() {
    try {
        ensureImage(image, geometry_.size(), CV_8UC3);
        return true;
    } catch (...) {
        release();
        return false;
    }
}

void ColourEffect::release() {
    image.release();
}

// The session refuses every mode alike before a successful init. The
// pipelines work on `image` and write the frame only in their last step,
// which cannot fail: an allocation or an OpenCV failure on the way leaves
// the frame untouched. The tones are per pixel, so applying them after the
// row-order copy gives the same picture as applying them to the frame
// first.
int ColourEffect::process(uint8_t* frame, int32_t mode) {
    switch (mode) {
        case QX_COLOR_NEGATIVE:
        case QX_COLOR_GREY:
        case QX_COLOR_SEPIA: applyColorTone(frame, geometry_.pixelCount, mode); return QX_DONE;
        case QX_COLOR_GLOW:
            // The bright parts of the inverted sepia, blurred wide and
            // screened over the inverted sepia itself.
            if (!allocate()) return QX_COLOR_NOT_READY;
            glowPipeline(frame, image, geometry_.rowOrder());
            return QX_DONE;
        case QX_COLOR_SOFT_GREY:
            // A slightly blurred grey of the inverted sepia's bright parts,
            // screened over the untouched picture.
            if (!allocate()) return QX_COLOR_NOT_READY;
            softGreyPipeline(frame, image, geometry_.rowOrder());
            return QX_DONE;
        default: return QX_COLOR_BAD_MODE;
    }
}

}  // namespace quexal
