// Quexal for C++: a move-only session over the C ABI of quexal.h, with the
// modes and result codes named. Header-only; the C ABI stays the one binary
// interface, and nothing here needs OpenCV.
//
//     quexal::Session session;
//     if (!session.init(dataFolder, 640, 480, quexal::RowOrder::TopDown)) ...
//     session.colour(frame, quexal::Colour::Sepia);   // frame: 640 * 480 * 3 bytes, BGR
//
// Like a QxSession, one Session is used by one thread at a time; different
// sessions may run on different threads at once.
#ifndef QUEXAL_QUEXAL_HPP
#define QUEXAL_QUEXAL_HPP

#include <cstdint>
#include <new>
#include <utility>

#include "quexal/quexal.h"

namespace quexal {

enum class RowOrder { BottomUp, TopDown };

enum class Colour : int32_t {
    Negative = QX_COLOR_NEGATIVE,
    Grey = QX_COLOR_GREY,
    Glow = QX_COLOR_GLOW,
    SoftGrey = QX_COLOR_SOFT_GREY,
    Sepia = QX_COLOR_SEPIA,
};

enum class Lens : int32_t {
    Swirl = QX_LENS_SWIRL,
    Mirror = QX_LENS_MIRROR,
    Funnel = QX_LENS_FUNNEL,
    Bulge = QX_LENS_BULGE,
    Magnify = QX_LENS_MAGNIFY,
    Stretch = QX_LENS_STRETCH,
    Pinch = QX_LENS_PINCH,
};

// What process_mask draws: the registered picture or an eye band.
enum class MaskMode : int32_t {
    Picture = QX_MASK_DRAW_PICTURE,
    PixelateEyes = QX_MASK_PIXELATE_EYES,
    BlurEyes = QX_MASK_BLUR_EYES,
};

// Where a mask picture sits; kinds AboveFace, OnFacePoint and Wide take a
// 200x190 picture, BelowEyes and OnEyes a 100x90 one.
enum class MaskKind : int32_t {
    AboveFace = 1,    // a hat: above the face point, swung with the head
    OnFacePoint = 2,  // a full-face mask: on the face point, not swung
    BelowEyes = 3,    // a nose or moustache: below the eye line
    OnEyes = 4,       // glasses, an eye mask: on the eye line
    Wide = 8,         // wider than the face, just above the face point
};

enum class BackgroundSource : int32_t { Video = QX_BKG_VIDEO, Picture = QX_BKG_PICTURE };

// Result of background(): the composite with enough background, with too
// little (written all the same), or a refusal with the frame untouched.
enum class BackgroundResult : int32_t {
    Done = QX_DONE,
    LittleBackground = QX_BKG_LITTLE_BACKGROUND,
    NoSource = QX_BKG_NO_SOURCE,
    NoReference = QX_BKG_NO_REFERENCE,
};

class Session {
public:
    // Creates a session; valid() is false only when memory was short.
    Session() : handle_(qx_session_create()) {}
    ~Session() { qx_session_destroy(handle_); }

    Session(Session&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Session& operator=(Session&& other) noexcept {
        if (this != &other) {
            qx_session_destroy(handle_);
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool valid() const { return handle_ != nullptr; }
    QxSession* handle() const { return handle_; }

    // Prepares the session for frames of width x height; false when refused
    // (bad size, cascades not found in dataFolder/QXdata).
    bool init(const char* dataFolder, int32_t width, int32_t height, RowOrder order) {
        const int32_t signedHeight = order == RowOrder::TopDown ? -height : height;
        return qx_init(handle_, dataFolder, width, signedHeight, 0, 0) == QX_DONE;
    }

    // Each effect answers the library's code: 1 done, anything else refused
    // (see quexal.h) with the frame untouched.
    int32_t colour(uint8_t* frame, Colour mode) {
        return qx_process_color(handle_, frame, static_cast<int32_t>(mode));
    }
    int32_t lens(uint8_t* frame, Lens mode) {
        return qx_process_lens(handle_, frame, static_cast<int32_t>(mode));
    }
    int32_t fire(uint8_t* frame) { return qx_process_fire(handle_, frame); }
    int32_t mask(uint8_t* frame, MaskMode mode = MaskMode::Picture) {
        return qx_process_mask(handle_, frame, static_cast<int32_t>(mode), 0);
    }

    // pixels: width x height, 4 bytes a pixel (blue, green, red, alpha).
    int32_t setMaskPicture(const uint8_t* pixels, int32_t width, int32_t height, MaskKind kind) {
        return qx_set_mask_image(handle_, pixels, width, height, static_cast<int32_t>(kind),
                                 QX_MASK_MAGIC, 0, 0);
    }
    static int32_t testMaskPicture(int32_t width, int32_t height, MaskKind kind) {
        return qx_test_mask_image(nullptr, width, height, static_cast<int32_t>(kind), QX_MASK_MAGIC,
                                  0, 0);
    }

    // The empty scene, a frame of the initialised size (positive height).
    int32_t snapshot(const uint8_t* frame, int32_t width, int32_t height) {
        return qx_get_bkg_snapshot(handle_, frame, width, height, 0);
    }
    // A packed BGR picture of any size, stretched to the frame.
    int32_t setBackgroundPicture(const uint8_t* pixels, int32_t width, int32_t height) {
        return qx_set_bkg(handle_, pixels, QX_BKG_PICTURE, width, height, 0);
    }
    // A video file played in a loop; an empty or null path stops the playing one.
    int32_t setBackgroundVideo(const char* path) {
        return qx_set_bkg(handle_, path, QX_BKG_VIDEO, 0, 0, 0);
    }
    // haloColour: 0xBBGGRR, or negative for the feathered edge; cutLine in
    // percent of the height, 0 for none.
    BackgroundResult background(uint8_t* frame, int32_t haloColour = -1, int32_t cutLine = 0) {
        const int32_t halo = haloColour >= 0 ? 1 : 0;
        return static_cast<BackgroundResult>(
            qx_process_bkg(handle_, frame, halo, halo ? haloColour : 0, cutLine, 0));
    }

    // Background: follow the camera's own exposure changes since the
    // snapshot (off by default).
    bool setExposureCompensation(bool on) {
        return qx_set_option(handle_, "exposure_compensation", on ? 1 : 0) == QX_OPTION_SET;
    }

    // Mask: the smallest face searched for, in thousandths of the frame
    // width (217 by default, about 22 %; 100 finds faces from 10 %).
    bool setMinFacePermille(int32_t permille) {
        return qx_set_option(handle_, "min_face_permille", permille) == QX_OPTION_SET;
    }
    // Mask: detect on a worker thread so that no frame waits for a
    // detection; the mask appears once the first detection completes.
    // Off by default, which keeps output reproducible frame for frame.
    bool setAsyncDetect(bool on) {
        return qx_set_option(handle_, "async_detect", on ? 1 : 0) == QX_OPTION_SET;
    }

private:
    QxSession* handle_;
};

}  // namespace quexal

#endif  // QUEXAL_QUEXAL_HPP
