// The session's calls: readiness checks, the hand-over to one effect, and
// the rules that tie effects together, each written here and nowhere else.
#include "session/session.h"

#include "api/session_handle.h"
#include "background/video/video_reader.h"
#include "quexal/quexal.h"

namespace quexal {

Session::Session(BufferPolicy policy) : policy_(policy) {}

Session::~Session() {
    releaseBuffers();
}

int Session::setMaskImage(const uint8_t* pixels, int32_t width, int32_t height, int32_t kind,
                          int32_t magic) {
    if (status == kNotReady) return QX_MASK_IMAGE_NOT_READY;
    const int result = face.setPicture(pixels, width, height, kind, magic);
    // A registered picture is what the mask (and nothing else) waits for.
    if (result == QX_DONE) status = kMaskReady;
    return result;
}

int Session::testMaskImage(int32_t width, int32_t height, int32_t kind, int32_t magic) {
    return FaceMask::testPicture(width, height, kind, magic);
}

int Session::processMask(uint8_t* frame, int32_t mode) {
    if (status != kMaskReady || !initialised_) return QX_MASK_NOT_READY;
    return face.process(frame, mode);
}

int Session::getBkgSnapshot(const uint8_t* frame, int32_t width, int32_t height) {
    // Before any successful initialisation there is nothing to compare with.
    if (!initialised_) return QX_SNAPSHOT_REFUSED;
    return background.snapshot(frame, width, height);
}

int Session::setBkg(const void* source, int32_t type, int32_t width, int32_t height) {
    if (!initialised_) return QX_SET_BKG_REFUSED;
    int result = QX_SET_BKG_REFUSED;
    bool newSource = false;
    switch (type) {
        case QX_BKG_VIDEO: {
            const char* path = static_cast<const char*>(source);
            result = background.setVideo(path);
            newSource = path != nullptr && path[0] != '\0';
            break;
        }
        case QX_BKG_PICTURE:
            result = background.setPicture(static_cast<const uint8_t*>(source), width, height);
            newSource = true;
            break;
        default: return QX_SET_BKG_REFUSED;
    }
    // A new background makes the next mask frame detect the face afresh.
    if (result == QX_DONE && newSource) face.rearmDetection();
    return result;
}

int Session::processBkg(uint8_t* frame, int32_t halo, int32_t haloColor, int32_t cutLine) {
    if (background.state < kVideoSource) return background.state - 1;
    // A failed re-initialisation may have dropped the images under a chosen
    // source; there is no reference to compare with then.
    if (!initialised_) return QX_BKG_NO_REFERENCE;
    return background.process(frame, halo, haloColor, cutLine);
}

int Session::processLens(uint8_t* frame, int32_t mode) {
    return lens.process(frame, mode, initialised_);
}

int Session::processFire(uint8_t* frame) {
    if (status == kNotReady) return QX_FIRE_NOT_READY;
    return fire.process(frame);
}

int Session::processColor(uint8_t* frame, int32_t mode) {
    if (!initialised_) return QX_COLOR_NOT_READY;
    return colour.process(frame, mode);
}

int Session::setOption(std::string_view name, int32_t value) {
    if (name == "exposure_compensation") background.exposureCompensation = value != 0;
    if (name == "min_face_permille") face.minFacePermille = value;
    if (name == "async_detect") face.setAsyncDetect(value != 0);
    return QX_OPTION_SET;
}

// The session of the exports, built when the library is loaded.
Session& theContext() {
    return defaultSession()->session;
}

}  // namespace quexal
