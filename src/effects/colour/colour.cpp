// The colour effect: three single-pass tones and two glow pipelines that
// blur a toned copy of the frame and screen it over a saved picture.
#include "core/effect_context.h"
#include "effects/colour/colour_glow.h"
#include "effects/colour/colour_tones.h"
#include "quexal/quexal.h"

namespace quexal {

// Before a successful init there is no frame geometry and no frameImage,
// so every mode is refused alike (the pipelines could not run and the
// single tones would have nothing to do). After init only the mode is
// checked.
//
// The pipelines work on frameImage and write the frame only in their last
// step, which cannot fail: an OpenCV failure on the way leaves the frame
// untouched. The tones are per pixel, so applying them after the row-order
// copy gives the same picture as applying them to the frame first.
int EffectContext::processColor(uint8_t* frame, int32_t mode) {
    if (!hasWorkingImages() || frameImage.total() != static_cast<std::size_t>(pixelCount))
        return QX_COLOR_NOT_READY;

    switch (mode) {
        case QX_COLOR_NEGATIVE:
        case QX_COLOR_GREY:
        case QX_COLOR_SEPIA:
            applyColorTone(frame, pixelCount, mode);
            return 1;
        case QX_COLOR_GLOW:
            glowFrame(frame);
            return 1;
        case QX_COLOR_SOFT_GREY:
            softGreyFrame(frame);
            return 1;
        default:
            return QX_COLOR_BAD_MODE;
    }
}

// Mode 18: the brightest parts of the inverted sepia, blurred wide and
// screened over the inverted sepia itself.
void EffectContext::glowFrame(uint8_t* frame) {
    glowPipeline(frame, frameImage, rowOrderOf(reverseRows));
}

// Mode 24: a slightly blurred grey of the inverted sepia's bright parts,
// screened over the untouched picture.
void EffectContext::softGreyFrame(uint8_t* frame) {
    softGreyPipeline(frame, frameImage, rowOrderOf(reverseRows));
}

}  // namespace quexal
