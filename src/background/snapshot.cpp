// The reference picture of the empty scene, kept in the three prepared
// variants the per-frame comparisons need, and the images the effect owns.
#include <new>

#include <opencv2/imgproc.hpp>

#include "background/background.h"
#include "background/segmentation.h"
#include "background/video/video_reader.h"
#include "quexal/quexal.h"

namespace quexal {

Background::Background(const FrameGeometry& geometry) : geometry_(geometry) {}

Background::~Background() {
    release();
}

void Background::reset() {
    stopVideo();
    exposure.reset();
    matteValid_ = false;
    state = kNoReference;
}

bool Background::allocate() {
    try {
        const cv::Size full = geometry_.size();
        for (cv::Mat* m :
             {&image, &blurred, &reference, &referenceBright, &referenceDark, &picture})
            ensureImage(*m, full, CV_8UC3);
        ensureImage(mask, full, CV_8UC1);
        ensureImage(gray, full, CV_8UC1);
        ensureImage(haloLayer, full, CV_8UC4);
        return true;
    } catch (...) {
        release();
        return false;
    }
}

void Background::release() {
    stopVideo();
    for (cv::Mat* m : {&image, &mask, &blurred, &gray, &reference, &referenceBright, &referenceDark,
                       &picture, &haloLayer, &videoFrame})
        m->release();
    for (cv::Mat* m : {&exposure.corrected, &exposure.bright, &exposure.dark}) m->release();
    exposure.reset();
    matteValid_ = false;
    videoBuffer = {};
}

void Background::stopVideo() {
    if (!video) return;
    video->close();
    video.reset();
}

// The snapshot is blurred like every frame, then brightened and darkened by
// 20 for the shifted comparisons; a chosen source stays chosen when the
// reference is renewed.
int Background::snapshot(const uint8_t* frame, int32_t width, int32_t height) {
    if (width != geometry_.width || height != geometry_.height) {
        state = kNoReference;
        return QX_SNAPSHOT_REFUSED;
    }
    if (frame == nullptr) return QX_SNAPSHOT_REFUSED;
    if (!allocate()) return QX_SNAPSHOT_REFUSED;

    geometry_.frameToImage(frame, reference);
    const cv::Size blur(bkg::kFrameBlurSize, bkg::kFrameBlurSize);
    cv::blur(reference, reference, blur, cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::add(reference, cv::Scalar::all(bkg::kReferenceShift), referenceBright);
    cv::subtract(reference, cv::Scalar::all(bkg::kReferenceShift), referenceDark);

    exposure.reset();
    matteValid_ = false;
    if (state == kNoReference) state = kNoSource;
    return QX_DONE;
}

}  // namespace quexal
