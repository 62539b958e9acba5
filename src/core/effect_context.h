// The one process-wide state of the library. Every export hands its
// arguments to a member operation of EffectContext; there is no other object
// graph. Fields are grouped by the subsystem that owns them. Member
// operations are defined in their subsystem's folder.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

#include "effects/fire/fire_routine.h"
#include "mask/mask_placement.h"
#include "mask/mask_rendering.h"

namespace quexal {

class VideoReader;

// Cascade file names, joined directly to the host's data path.
#if defined(_WIN32)
inline constexpr const char* kFaceCascadeFile = "\\QXdata\\haarcascade_frontalface_alt.xml";
inline constexpr const char* kEyeCascadeFile = "\\QXdata\\eye_8.xml";
#else
inline constexpr const char* kFaceCascadeFile = "/QXdata/haarcascade_frontalface_alt.xml";
inline constexpr const char* kEyeCascadeFile = "/QXdata/eye_8.xml";
#endif

// Path, file name and terminating zero must fit this many bytes.
inline constexpr std::size_t kCascadePathCapacity = 512;

// The reduced detection image is the frame size divided by this factor,
// held as a 32-bit float.
inline constexpr float kDetectScale = 1.3f;

// Number of points the tracking buffers hold.
inline constexpr int kTrackCapacity = 20;

struct EffectContext {
    EffectContext();
    ~EffectContext();
    EffectContext(const EffectContext&) = delete;
    EffectContext& operator=(const EffectContext&) = delete;

    // ---- Library frame (core/) -------------------------------------------
    int32_t frameWidth = 0;
    int32_t frameHeight = 0;
    int32_t pixelCount = 0;
    int32_t lensMode = -1;
    int32_t cascadesPending = 1;
    int32_t fireWarmupPending = 1;
    int32_t maskKind = 0;
    int32_t status = -1;
    const char* faceCascadeFile = kFaceCascadeFile;
    const char* eyeCascadeFile = kEyeCascadeFile;
    int32_t reverseRows = 0;
    float detectScale = kDetectScale;

    cv::CascadeClassifier faceCascade;
    cv::CascadeClassifier eyeCascade;

    // Working images, all continuous (packed rows), top row first.
    cv::Mat frameImage, grayImage, smallGrayImage;

    // ---- Face detection (mask/) ------------------------------------------
    cv::Mat eyeCrop1, eyeCrop2, eyeCrop2Large, eyeCrop1Large;
    int32_t faceLeft = 0, eyeBandTop = 0, faceRight = 0, eyeBandBottom = 0;
    int32_t faceX = 0, faceY = 0;
    int32_t rightEyeX = 0, rightEyeY = 0, leftEyeX = 0, leftEyeY = 0;
    int16_t detectStage = 0;
    int32_t rightEyeHeight = 0, leftEyeHeight = 0;
    int32_t eyeDistance = 0, eyeMidX = 0, eyeMidY = 0;
    float faceAngle = 0.0f;
    int32_t redetect = 0;

    // ---- Mask picture and driver (mask/) ---------------------------------
    float maskAspect = 0.0f;
    SmoothState smoothing;  // smoothX ... smoothAngle: the overlay filter's history
    std::vector<uint8_t> maskPixels;  // empty while no picture is held
    int32_t maskWidth = 0, maskHeight = 0;
    MaskScratch maskScratch;  // drawing storage reused from frame to frame

    // ---- Feature tracking (mask/) ----------------------------------------
    int32_t trackState = 0, trackFlags = 0;
    cv::Mat trackFrameImage, trackGray, trackPrevGray;
    std::vector<cv::Mat> trackPyramid, trackPrevPyramid;
    std::vector<cv::Point2f> trackPrevPoints, trackPoints;
    std::vector<uint8_t> trackStatus;
    int32_t trackPointCount = 0;

    // ---- Background (background/) ----------------------------------------
    // Contours come back in vectors and flood fills answer their area, so
    // no contour storage or connected-component record is kept.
    cv::Mat bkgMask, bkgFrame, bkgWork, bkgReference1, bkgReference2, bkgReference3;
    cv::Mat bkgGray, bkgPicture, bkgBlend;
    cv::Mat bkgVideoFrame;                // a video frame of another size, top row first
    std::vector<uint8_t> bkgVideoBuffer;  // the reader's latest frame, reused per frame
    std::unique_ptr<VideoReader> videoReader;
    int32_t videoWidth = 0, videoHeight = 0;
    int32_t bkgState = -1;

    // ---- Lens (effects/lens/) --------------------------------------------
    // Tables of the mode in lensMode, built for the current frame size.
    int32_t lensSwirlSize = 0;         // side of the swirl square
    std::vector<int32_t> lensSwirlMap;  // per square pixel: offset to its source
    std::vector<int32_t> lensRemap;     // per pixel: source offset, or -1 to keep
    std::vector<uint8_t> lensCopy;      // the frame as it came in, for the swirl
    bool buildLensTables(int32_t mode);  // false when out of memory

    // ---- Colour (effects/colour/) ----------------------------------------
    // Copy of the frame for the screen blend of the glow modes, sized on
    // first need and kept, so a frame costs no allocation.
    std::vector<uint8_t> colourCopy;

    // ---- Fire (effects/fire/) --------------------------------------------
    CFireRoutine fire;

    // ---- Operations -------------------------------------------------------
    // core/init.cpp
    int init(const char* path, int32_t width, int32_t height);
    void releaseWorkingImages();
    void destroyContext();
    bool hasWorkingImages() const { return !frameImage.empty(); }

    // core/frame_io.cpp
    void frameToImage(const uint8_t* frame, cv::Mat& image) const;
    void imageToFrame(const cv::Mat& image, uint8_t* frame) const;

    // mask/
    int setMaskImage(const uint8_t* pixels, int32_t width, int32_t height, int32_t kind,
                     int32_t magic);
    static int testMaskImage(int32_t width, int32_t height, int32_t kind, int32_t magic);
    int processMask(uint8_t* frame, int32_t mode);
    int detectFace(const uint8_t* frame);  // stage reached: 0, 1, 2 or 4
    int trackFace(const uint8_t* frame);   // 1 while the track holds, 0 when lost

    // background/
    int getBkgSnapshot(const uint8_t* frame, int32_t width, int32_t height);
    int setBkg(const void* source, int32_t type, int32_t width, int32_t height);
    int setBackgroundVideo(const char* path);
    int setBackgroundPicture(const uint8_t* data, int32_t width, int32_t height);
    int processBkg(uint8_t* frame, int32_t halo, int32_t haloColor, int32_t cutLine);
    double segmentBackground(int32_t cutLine);  // matte into bkgMask; answers the background area
    int fetchVideoFrame();                      // 1, or the result processBkg answers

    // effects/
    int processLens(uint8_t* frame, int32_t mode);
    int processColor(uint8_t* frame, int32_t mode);
    void glowFrame(uint8_t* frame);      // effects/colour/, mode 18
    void softGreyFrame(uint8_t* frame);  // effects/colour/, mode 24
    int processFire(uint8_t* frame);
};

// The context of the default session, the one behind the exports.
EffectContext& theContext();

}  // namespace quexal
