// The images and state the face mask owns, and their life over
// initialisations.
#include "mask/face_mask.h"

#include "core/numeric.h"

namespace quexal {
namespace {

// The reduced detection size: the frame size over the detection scale, the
// quotient in double precision, rounded halves to even.
cv::Size reducedSize(cv::Size full, float scale) {
    return {roundHalfEven(full.width / static_cast<double>(scale)),
            roundHalfEven(full.height / static_cast<double>(scale))};
}

}  // namespace

void FaceMask::setAsyncDetect(bool on) {
    if (!on) {
        worker.reset();  // waits for a running detection
        return;
    }
    if (!worker) worker = std::make_unique<DetectionWorker>();
}

cv::Size FaceMask::minFaceWindow() const {
    if (minFacePermille == kDefaultMinFacePermille)
        return {geometry_.width / 6, geometry_.height / 6};
    const int32_t side = truncToInt(static_cast<double>(geometry_.width) * minFacePermille /
                                    (1000.0 * static_cast<double>(detectScale)));
    return {side, side};
}

void FaceMask::reset() {
    if (worker) worker->discard();  // a detection of the old size is of no use
    trackFlags = 0;
    trackFaceWidth = 0;
    faceX = faceY = 0;
    rightEyeX = rightEyeY = leftEyeX = leftEyeY = 0;
    detectStage = kNoFace;
    trackState = kTrackSeedPending;
    redetect = 0;
}

bool FaceMask::allocate() {
    if (!geometry_.accepted()) return false;
    const cv::Size full = geometry_.size();
    if (allocated() && frameImage.size() == full) return true;
    try {
        ensureImage(frameImage, full, CV_8UC3);
        for (cv::Mat* m : {&grayImage, &trackGray, &trackPrevGray}) ensureImage(*m, full, CV_8UC1);
        ensureImage(smallGrayImage, reducedSize(full, detectScale), CV_8UC1);
        trackPrevPoints.assign(kTrackCapacity, cv::Point2f());
        trackPoints.assign(kTrackCapacity, cv::Point2f());
        trackStatus.assign(kTrackCapacity, 0);
        return true;
    } catch (...) {
        release();
        return false;
    }
}

void FaceMask::release() {
    for (cv::Mat* m : {&frameImage, &grayImage, &smallGrayImage, &eyeCrop1, &eyeCrop2,
                       &eyeCrop1Large, &eyeCrop2Large, &trackGray, &trackPrevGray})
        m->release();
    trackPyramid.clear();
    trackPrevPyramid.clear();
    maskScratch = MaskScratch{};
}

}  // namespace quexal
