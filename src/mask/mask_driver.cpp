// The per-frame face mask: find or follow the face, place the overlay by the
// picture's kind (or the band across the eyes), steady it, and draw it into
// the working frame.
#include "mask/face_mask.h"
#include "mask/mask_placement.h"
#include "mask/mask_rendering.h"
#include "quexal/quexal.h"

namespace quexal {
namespace {

FaceMeasure measuredFace(const FaceMask& c) {
    return {c.faceX, c.faceY, c.eyeMidX, c.eyeMidY, c.eyeDistance, c.faceAngle};
}

// The stored copy matches the recorded size; a failed registration can leave
// the size of a picture that was never stored.
bool pictureMatchesSize(const FaceMask& c) {
    return c.maskWidth > 0 && c.maskHeight > 0 &&
           c.maskPixels.size() >= static_cast<std::size_t>(c.maskWidth) * c.maskHeight * 4;
}

}  // namespace

// With detection on the worker: a finished detection that found a face and
// both eyes seeds the tracker on this frame, as a detection made on an
// earlier frame does; otherwise this frame goes to the worker if it is
// idle. Answers whether the face is held for this frame.
bool FaceMask::adoptWorkerDetection(const uint8_t* frame) {
    const std::optional<Detection> found = worker->take();
    if (!found || found->detectStage != kFaceAndEyes) {
        worker->submit(frame, geometry_, {faceCascadePath, eyeCascadePath, minFacePermille});
        return false;
    }
    adoptDetection(*this, *found);
    smoothing = SmoothState{};
    trackState = kTrackSeedPending;
    redetect = 0;
    return track(frame) != 0;
}

int FaceMask::process(uint8_t* frame, int32_t mode) {
    if (!allocate()) return QX_MASK_NOT_READY;

    // Follow the face while the last detection found it whole; a lost track
    // falls back to a detection on this same frame.
    const bool tracked = redetect == 0 && detectStage == kFaceAndEyes && track(frame) != 0;
    if (!tracked) {
        if (worker) {
            if (!adoptWorkerDetection(frame)) return QX_DONE;  // nothing found yet: untouched
        } else {
            if (detect(frame) != kFaceAndEyes) return QX_DONE;  // no usable face: frame untouched
            smoothing = SmoothState{};
            trackState = kTrackSeedPending;  // the tracker seeds its points from this detection
            redetect = 0;
        }
    }

    // A frame whose rows run top first is drawn where it lies; one stored
    // bottom first goes through the working image. Nothing is written to
    // the frame before the last step that can fail.
    const bool inPlace = geometry_.rowOrder() == RowOrder::TopFirst;
    cv::Mat image = inPlace ? cv::Mat(geometry_.size(), CV_8UC3, frame) : frameImage;
    if (!inPlace) geometry_.frameToImage(frame, frameImage);

    const FaceMeasure face = measuredFace(*this);
    // Work on a copy so that a failed draw leaves the filter's history as it was.
    SmoothState smooth = smoothing;
    if (mode == kPixelateMode || mode == kBlurMode) {
        const Overlay band = placeEyeBand(face, smooth);
        const int32_t strength = mode == kPixelateMode ? kPixelateStrength : kBlurStrength;
        obscureRegion(image, mode, strength, band.left, band.top, band.width, band.height,
                      image.cols, image.rows, maskScratch.region);
    } else {
        Overlay overlay{};
        if (placeOverlay(maskKind, face, maskAspect, smooth, overlay) &&
            overlayInRange(overlay, maxOverlaySideFor(faceRight - faceLeft)) &&
            pictureMatchesSize(*this))
            drawMask(maskPixels.data(), image.data, maskWidth, maskHeight, overlay.left,
                     overlay.top, overlay.width, overlay.height, overlay.angle, image.cols,
                     image.rows, maskScratch);
    }
    smoothing = smooth;

    if (!inPlace) geometry_.imageToFrame(frameImage, frame);
    return QX_DONE;
}

}  // namespace quexal
