#include <cstring>

#include <opencv2/imgproc.hpp>

#include "effects/colour/colour_effect.h"
#include "effects/colour/colour_tones.h"
#include "quexal/quexal.h"

namespace quexal {
namespace {

constexpr int kGlowBlurSize = 25;     // box window of mode 18
constexpr int kSoftGreyBlurSize = 5;  // Gaussian window of mode 24

}  // namespace

bool ColourEffect::allocate() {
    try {
        copy.resize(static_cast<std::size_t>(geometry_.pixelCount) * 3);
        ensureImage(image, geometry_.size(), CV_8UC3);
        return true;
    } catch (...) {
        release();
        return false;
    }
}

void ColourEffect::release() {
    copy = {};
    image.release();
}

// The session refuses every mode alike before a successful init. The
// pipelines work on the frame copy and on `image` and write the frame only
// in their last two steps, which cannot fail: an allocation or an OpenCV
// failure on the way leaves the frame untouched. The tones are per pixel,
// so applying them after the row-order copy gives the same picture as
// applying them to the frame first.
int ColourEffect::process(uint8_t* frame, int32_t mode) {
    const int32_t pixels = geometry_.pixelCount;
    switch (mode) {
        case QX_COLOR_NEGATIVE:
        case QX_COLOR_GREY:
        case QX_COLOR_SEPIA:
            applyColorTone(frame, pixels, mode);
            return QX_DONE;
        case QX_COLOR_GLOW:
            if (!allocate()) return QX_COLOR_NOT_READY;
            glow(frame);
            return QX_DONE;
        case QX_COLOR_SOFT_GREY:
            if (!allocate()) return QX_COLOR_NOT_READY;
            softGrey(frame);
            return QX_DONE;
        default:
            return QX_COLOR_BAD_MODE;
    }
}

// Mode 18: the brightest parts of the inverted sepia, blurred wide and
// screened over the inverted sepia itself.
void ColourEffect::glow(uint8_t* frame) {
    const int32_t pixels = geometry_.pixelCount;
    std::memcpy(copy.data(), frame, copy.size());
    applyColorTone(copy.data(), pixels, kToneInvertedSepia);
    geometry_.frameToImage(copy.data(), image);
    applyColorTone(image.data, pixels, kToneBrightKeep);
    cv::blur(image, image, cv::Size(kGlowBlurSize, kGlowBlurSize), cv::Point(-1, -1),
             cv::BORDER_REPLICATE);
    geometry_.imageToFrame(image, frame);
    screenBlend(frame, copy.data(), pixels);
}

// Mode 24: a slightly blurred grey of the inverted sepia's bright parts,
// screened over the untouched picture.
void ColourEffect::softGrey(uint8_t* frame) {
    const int32_t pixels = geometry_.pixelCount;
    std::memcpy(copy.data(), frame, copy.size());
    geometry_.frameToImage(frame, image);
    applyColorTone(image.data, pixels, kToneInvertedSepia);
    applyColorTone(image.data, pixels, kToneBrightLevel);
    cv::GaussianBlur(image, image, cv::Size(kSoftGreyBlurSize, kSoftGreyBlurSize), 0.0, 0.0,
                     cv::BORDER_REPLICATE);
    geometry_.imageToFrame(image, frame);
    screenBlend(frame, copy.data(), pixels);
}

}  // namespace quexal
