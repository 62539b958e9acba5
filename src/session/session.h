// A session: one stream's frame geometry and one object per effect family,
// plus the few rules that tie the families together. The C ABI hands each
// call to one member operation; a session is used by one thread at a time,
// and shares nothing mutable with other sessions.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "background/background.h"
#include "effects/colour/colour_effect.h"
#include "effects/fire/fire_effect.h"
#include "effects/lens/lens_effect.h"
#include "mask/face_mask.h"
#include "session/geometry.h"

namespace quexal {

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

// What the effects may do: nothing, everything but the mask, or everything.
enum Readiness : int32_t {
    kNotReady = -1,  // no successful init (or the last one refused)
    kReady = 0,      // initialised, no mask picture
    kMaskReady = 1,  // initialised with a mask picture
};

// When the working buffers are allocated: all at init (so that init can
// refuse a size memory cannot hold), or each effect's at its first use.
enum class BufferPolicy { AtInit, OnFirstUse };

class Session {
public:
    explicit Session(BufferPolicy policy = BufferPolicy::OnFirstUse);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    int init(const char* path, int32_t width, int32_t height);

    int setMaskImage(const uint8_t* pixels, int32_t width, int32_t height, int32_t kind,
                     int32_t magic);
    static int testMaskImage(int32_t width, int32_t height, int32_t kind, int32_t magic);
    int processMask(uint8_t* frame, int32_t mode);

    int getBkgSnapshot(const uint8_t* frame, int32_t width, int32_t height);
    int setBkg(const void* source, int32_t type, int32_t width, int32_t height);
    int processBkg(uint8_t* frame, int32_t halo, int32_t haloColor, int32_t cutLine);

    int processLens(uint8_t* frame, int32_t mode);
    int processColor(uint8_t* frame, int32_t mode);
    int processFire(uint8_t* frame);

    // Sets a known option to a value already checked against its range
    // (session/options.h); answers QX_OPTION_SET.
    int setOption(std::string_view name, int32_t value);

    // A successful init has prepared every effect for the current size.
    bool initialised() const { return initialised_; }
    // Drops every effect's buffers, as an init that ran out of memory
    // leaves them: the effects refuse until the next successful init.
    void releaseBuffers();

    FrameGeometry geometry;
    int32_t status = kNotReady;
    int32_t cascadesPending = 1;
    const char* faceCascadeFile = kFaceCascadeFile;
    const char* eyeCascadeFile = kEyeCascadeFile;

    FaceMask face{geometry};
    Background background{geometry};
    ColourEffect colour{geometry};
    LensEffect lens{geometry};
    FireEffect fire{geometry};

private:
    bool allocateAll();
    BufferPolicy policy_;
    bool initialised_ = false;
};

// The session behind the exports.
Session& theContext();

}  // namespace quexal
