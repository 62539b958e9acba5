// The reference picture of the empty scene, kept in the three prepared
// variants the per-frame comparisons need.
#include <opencv2/imgproc.hpp>

#include "background/segmentation.h"
#include "core/effect_context.h"
#include "quexal/quexal.h"

namespace quexal {

// The snapshot is blurred like every frame, then brightened and darkened by
// 20 for the shifted comparisons; a chosen source stays chosen when the
// reference is renewed.
int EffectContext::getBkgSnapshot(const uint8_t* frame, int32_t width, int32_t height) {
    // Before any successful initialisation the geometry is 0 x 0 and there
    // are no images to write: nothing changes.
    if (!hasWorkingImages()) return QX_SNAPSHOT_REFUSED;
    if (width != frameWidth || height != frameHeight) {
        bkgState = -1;
        return QX_SNAPSHOT_REFUSED;
    }
    if (frame == nullptr) return QX_SNAPSHOT_REFUSED;

    frameToImage(frame, bkgReference1);
    const cv::Size blur(bkg::kFrameBlurSize, bkg::kFrameBlurSize);
    cv::blur(bkgReference1, bkgReference1, blur, cv::Point(-1, -1), cv::BORDER_REPLICATE);
    bkgReference1.copyTo(bkgReference2);
    bkgReference1.copyTo(bkgReference3);
    cv::add(bkgReference2, cv::Scalar::all(bkg::kReferenceShift), bkgReference2);
    cv::subtract(bkgReference3, cv::Scalar::all(bkg::kReferenceShift), bkgReference3);

    if (bkgState < 0) bkgState = 0;
    return QX_DONE;
}

}  // namespace quexal
