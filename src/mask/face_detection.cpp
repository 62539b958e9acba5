// Face and eye detection: a face search on the reduced, equalised grey
// frame, then an eye search in each half of the eye band.
#include <cstdlib>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "core/side_by_side.h"
#include "mask/face_geometry.h"
#include "mask/face_mask.h"

namespace quexal {
namespace {

constexpr double kFaceScaleStep = 1.5;
constexpr double kEyeScaleStep = 1.1;
const cv::Size kEyeMinWindow(8, 8);

// One eye search: the crop enlarged twice, then its raw eye windows.
struct EyeSearch {
    CascadeSearch* cascade;
    const cv::Mat* crop;
    cv::Mat* large;
    std::vector<cv::Rect>* windows;

    void run() const {
        cv::resize(*crop, *large, large->size(), 0, 0, cv::INTER_AREA);
        cascade->find(*large, kEyeScaleStep, kEyeMinWindow, *windows);
    }
};

// The two eye searches are independent; each has its own cascade (a cascade
// may not be used by two threads at once), crop and window list, so the
// image-right one runs beside the image-left one, one core each. Their
// windows are sorted, so the outcome is the same as one after the other.
void searchBothEyes(const EyeSearch& imageLeft, const EyeSearch& imageRight, bool together) {
    if (together && !imageRight.cascade->empty()) {
        runSideBySide([&imageRight] { imageRight.run(); }, [&imageLeft] { imageLeft.run(); });
        return;
    }
    imageRight.run();
    imageLeft.run();
}

// Cuts a region of the grey frame and keeps a twice-enlarged copy beside
// it; false when the region is empty or not inside the frame.
bool cutEyeRegion(const cv::Mat& gray, const cv::Rect& region, cv::Mat& crop, cv::Mat& large) {
    if (region.width <= 0 || region.height <= 0) return false;
    if ((region & cv::Rect(0, 0, gray.cols, gray.rows)) != region) return false;
    gray(region).copyTo(crop);
    large.create(region.height * 2, region.width * 2, CV_8UC1);
    return true;
}

}  // namespace

int FaceMask::detect(const uint8_t* frame) {
    if (frame == nullptr || !allocate()) return kNoFace;

    geometry_.frameToGray(frame, grayImage);
    cv::resize(grayImage, smallGrayImage, smallGrayImage.size(), 0, 0, cv::INTER_AREA);
    cv::equalizeHist(smallGrayImage, smallGrayImage);

    try {
        if (!faceCascade.empty()) {
            faceCascade.find(smallGrayImage, kFaceScaleStep, minFaceWindow(), faceWindows);
            const std::optional<Box> face = groupFaceWindows(faceWindows, detectScale);
            if (!face) {
                detectStage = kNoFace;
                return kNoFace;
            }
            const FaceBand band = faceBandOf(*face);
            faceLeft = band.faceLeft;
            eyeBandTop = band.eyeBandTop;
            faceRight = band.faceRight;
            eyeBandBottom = band.eyeBandBottom;
            faceX = band.faceX;
            faceY = band.faceY;
            detectStage = kFaceFound;
        }

        const FaceBand band{faceLeft, eyeBandTop, faceRight, eyeBandBottom, faceX, faceY};
        const EyeRegions regions = eyeRegionsOf(band);
        if (!cutEyeRegion(grayImage, regions.imageLeft, eyeCrop2, eyeCrop2Large)) return kNoFace;
        if (!cutEyeRegion(grayImage, regions.imageRight, eyeCrop1, eyeCrop1Large)) return kNoFace;
        // The image-right search runs even when the image-left one will find
        // nothing; its windows are then not used.
        leftEyeWindows.clear();
        rightEyeWindows.clear();
        searchBothEyes({&eyeCascade, &eyeCrop2, &eyeCrop2Large, &leftEyeWindows},
                       {&rightEyeCascade, &eyeCrop1, &eyeCrop1Large, &rightEyeWindows},
                       eyeSearchesTogether);

        if (eyeCascade.empty()) return detectStage;

        const std::optional<EyeMean> left = meanEyeWindow(leftEyeWindows, true);
        if (!left) return kOneEye;
        const int32_t leftOx = regions.imageLeft.x;
        leftEyeHeight = left->bottom - left->top;
        leftEyeX = ((left->left + leftOx) + (left->right + leftOx)) / 2 + 3;
        leftEyeY = ((left->top + regions.eyeTop) + (left->bottom + regions.eyeTop)) / 2;
        detectStage = kOneEye;

        if (rightEyeCascade.empty())  // one cascade only: the searches take turns
            eyeCascade.find(eyeCrop1Large, kEyeScaleStep, kEyeMinWindow, rightEyeWindows);
        const std::optional<EyeMean> right = meanEyeWindow(rightEyeWindows, false);
        if (!right) return kOneEye;
        const int32_t rightOx = regions.imageRight.x;
        rightEyeHeight = right->bottom - right->top;
        rightEyeX = ((right->left + rightOx) + (right->right + rightOx)) / 2;
        rightEyeY = ((right->top + regions.eyeTop) + (right->bottom + regions.eyeTop)) / 2;

        eyeDistance = std::abs(rightEyeX - leftEyeX);
        eyeMidX = (leftEyeX + rightEyeX) / 2;
        eyeMidY = (leftEyeY + rightEyeY) / 2;
        faceAngle = angleBetween(rightEyeX, rightEyeY, leftEyeX, leftEyeY);
        detectStage = kFaceAndEyes;
        return kFaceAndEyes;
    } catch (...) {
        return kNoFace;
    }
}

}  // namespace quexal
