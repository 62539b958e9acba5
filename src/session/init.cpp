// Initialisation for one frame size, and teardown.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "session/session.h"

namespace quexal {
namespace {

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

bool loadCascade(CascadeSearch& cascade, const char* path, const char* file) {
    std::string name;
    if (!joinCascadePath(path, file, name)) return false;
    // OpenCV prints an error for a file it cannot open; the library prints
    // nothing, so anything but a regular file is refused before that.
    std::error_code error;
    if (!std::filesystem::is_regular_file(name, error)) return false;
    return cascade.load(name);
}

}  // namespace

int Session::init(const char* path, int32_t width, int32_t height) {
    if (width <= 0 || height == 0 || !sizeFitsInt32(width, height)) {
        status = kNotReady;
        return 0;
    }

    geometry.width = width;
    geometry.height = height < 0 ? -height : height;
    geometry.pixelCount = geometry.width * geometry.height;
    geometry.reverseRows = height > 0 ? 1 : 0;
    lens.reset();

    // The cascades are loaded once and live as long as the session. A failed
    // load leaves them pending so that the next call tries again.
    if (cascadesPending == 1) {
        if (path == nullptr || !loadCascade(face.faceCascade, path, faceCascadeFile) ||
            !loadCascade(face.eyeCascade, path, eyeCascadeFile) ||
            !loadCascade(face.rightEyeCascade, path, eyeCascadeFile)) {
            face.faceCascade.clear();
            face.eyeCascade.clear();
            face.rightEyeCascade.clear();
            return 0;
        }
        joinCascadePath(path, faceCascadeFile, face.faceCascadePath);
        joinCascadePath(path, eyeCascadeFile, face.eyeCascadePath);
        status = kReady;
    }

    releaseBuffers();
    if (policy_ == BufferPolicy::AtInit && !allocateAll()) {
        // Out of memory for this size: drop the half-built set and refuse
        // the size as if it were a bad one.
        releaseBuffers();
        status = kNotReady;
        return 0;
    }

    // Every effect starts over at the new size; the mask picture stays.
    face.reset();
    background.reset();
    cascadesPending = 0;
    fire.reset();
    initialised_ = true;

    // A failed call may have put status at -1; this one succeeded, so the
    // session is ready again, with the mask picture if one is held.
    status = face.holdsPicture() ? kMaskReady : kReady;
    return 1;
}

bool Session::allocateAll() {
    return fire.allocate() && face.allocate() && background.allocate() && colour.allocate();
}

void Session::releaseBuffers() {
    initialised_ = false;
    face.release();
    background.release();
    colour.release();
    lens.release();
    fire.release();
}

}  // namespace quexal
