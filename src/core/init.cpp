// Initialisation for one frame size, and teardown.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "background/video/video_reader.h"
#include "core/effect_context.h"
#include "core/numeric.h"

namespace quexal {
namespace {

// The reduced detection size: the frame size over detectScale, the quotient
// in double precision, rounded halves to even.
cv::Size reducedSize(int32_t width, int32_t height, float scale) {
    return {roundHalfEven(width / static_cast<double>(scale)),
            roundHalfEven(height / static_cast<double>(scale))};
}

// Largest image is four bytes a pixel; its byte count must stay within a
// signed 32-bit value, as the frame arithmetic of every effect assumes.
bool sizeFitsInt32(int32_t width, int32_t height) {
    // The pixel count alone fits an int64 for any int32 sides; times four
    // it may not, so compare against the limit divided instead.
    const int64_t pixels = static_cast<int64_t>(width) * std::abs(static_cast<int64_t>(height));
    return pixels <= INT32_MAX / 4;
}

// Joins path and file name as the fixed-capacity buffer would; false when
// the result would not fit.
bool joinCascadePath(const char* path, const char* file, std::string& out) {
    const std::size_t pathLength = strnlen(path, kCascadePathCapacity);
    if (pathLength + std::strlen(file) + 1 > kCascadePathCapacity) return false;
    out.assign(path, pathLength);
    out += file;
    return true;
}

bool loadCascade(cv::CascadeClassifier& cascade, const char* path, const char* file) {
    std::string name;
    if (!joinCascadePath(path, file, name)) return false;
    // OpenCV prints an error for a file it cannot open; the library prints
    // nothing, so anything but a regular file is refused before that.
    std::error_code error;
    if (!std::filesystem::is_regular_file(name, error)) return false;
    try {
        return cascade.load(name) && !cascade.empty();
    } catch (const cv::Exception&) {
        return false;
    }
}

}  // namespace

int EffectContext::init(const char* path, int32_t width, int32_t height) {
    if (width <= 0 || height == 0 || !sizeFitsInt32(width, height)) {
        status = -1;
        return 0;
    }

    frameWidth = width;
    frameHeight = height < 0 ? -height : height;
    pixelCount = frameWidth * frameHeight;
    reverseRows = height > 0 ? 1 : 0;
    lensMode = 0;

    // The cascades are loaded once and live until unload. A failed load
    // leaves them pending so that the next call tries again.
    if (cascadesPending == 1) {
        if (path == nullptr || !loadCascade(faceCascade, path, faceCascadeFile) ||
            !loadCascade(eyeCascade, path, eyeCascadeFile)) {
            faceCascade = cv::CascadeClassifier();
            eyeCascade = cv::CascadeClassifier();
            return 0;
        }
        status = 0;
    }

    releaseWorkingImages();
    try {
        const cv::Size full(frameWidth, frameHeight);
        bkgReference1.create(full, CV_8UC3);
        bkgReference2.create(full, CV_8UC3);
        bkgReference3.create(full, CV_8UC3);
        bkgMask.create(full, CV_8UC1);
        bkgGray.create(full, CV_8UC1);
        bkgFrame.create(full, CV_8UC3);
        bkgWork.create(full, CV_8UC3);
        bkgPicture.create(full, CV_8UC3);
        bkgBlend.create(full, CV_8UC4);
        frameImage.create(full, CV_8UC3);
        grayImage.create(full, CV_8UC1);
        trackFrameImage.create(full, CV_8UC3);
        trackGray.create(full, CV_8UC1);
        trackPrevGray.create(full, CV_8UC1);
        smallGrayImage.create(reducedSize(frameWidth, frameHeight, detectScale), CV_8UC1);
        trackPrevPoints.assign(kTrackCapacity, cv::Point2f());
        trackPoints.assign(kTrackCapacity, cv::Point2f());
        trackStatus.assign(kTrackCapacity, 0);
        fire.SetSize(frameWidth, frameHeight);
    } catch (...) {
        // Out of memory for this size: drop the half-built set and refuse
        // the size as if it were a bad one.
        releaseWorkingImages();
        status = -1;
        return 0;
    }

    trackFlags = 0;
    faceX = faceY = 0;
    rightEyeX = rightEyeY = leftEyeX = leftEyeY = 0;
    detectStage = 0;
    trackState = -1;
    bkgState = -1;
    cascadesPending = 0;
    redetect = 0;
    fireWarmupPending = 1;

    // A failed call may have put status at -1; this one succeeded, so the
    // library is ready again, with the mask picture if one is held.
    status = maskPixels.empty() ? 0 : 1;
    return 1;
}

void EffectContext::releaseWorkingImages() {
    for (cv::Mat* image : {&grayImage, &smallGrayImage, &frameImage, &eyeCrop1, &eyeCrop2,
                           &eyeCrop1Large, &eyeCrop2Large, &trackFrameImage, &trackGray,
                           &trackPrevGray, &bkgMask, &bkgFrame, &bkgWork, &bkgReference1,
                           &bkgReference2, &bkgReference3, &bkgGray, &bkgPicture})
        image->release();
    trackPyramid.clear();
    trackPrevPyramid.clear();
    maskScratch = MaskScratch{};
    if (videoReader) {
        videoReader->close();
        videoReader.reset();
    }
    bkgBlend.release();
}

void EffectContext::destroyContext() {
    lensSwirlMap = {};
    lensRemap = {};
    lensCopy = {};
    maskPixels = {};
    releaseWorkingImages();
    faceCascade = cv::CascadeClassifier();
    eyeCascade = cv::CascadeClassifier();
    trackStatus = {};
    trackPrevPoints = {};
    trackPoints = {};
}

}  // namespace quexal
