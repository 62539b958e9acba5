// The session twins of the exports. Each one is a guard: a null session
// answers what a fresh session answers before its first init, a null
// pointer the library would read is refused, and no exception reaches the
// host. Everything else is one call into the session.
#include <new>

#include "api/session_handle.h"
#include "quexal/quexal.h"
#include "session/options.h"

namespace {

// Runs `work` and answers `refusal` if it throws.
template <typename Work>
int32_t guarded(int32_t refusal, Work&& work) noexcept {
    try {
        return work();
    } catch (...) {
        return refusal;
    }
}

}  // namespace

extern "C" {

QX_EXPORT QxSession* QX_API qx_session_create(void) {
    return new (std::nothrow) QxSession();
}

// The session's destructor stops a playing video and joins its thread.
QX_EXPORT void QX_API qx_session_destroy(QxSession* s) {
    delete s;
}

QX_EXPORT int32_t QX_API qx_init(QxSession* s, const char* path, int32_t width, int32_t height,
                                 int32_t, int32_t) {
    if (s == nullptr) return QX_INIT_REFUSED;
    return guarded(QX_INIT_REFUSED, [&] { return s->session.init(path, width, height); });
}

QX_EXPORT int32_t QX_API qx_process_mask(QxSession* s, uint8_t* frame, int32_t mode, int32_t) {
    if (s == nullptr || frame == nullptr) return QX_MASK_NOT_READY;
    return guarded(QX_MASK_NOT_READY, [&] { return s->session.processMask(frame, mode); });
}

QX_EXPORT int32_t QX_API qx_process_lens(QxSession* s, uint8_t* frame, int32_t mode) {
    if (s == nullptr || frame == nullptr) return QX_LENS_NOT_READY;
    return guarded(QX_LENS_NOT_READY, [&] { return s->session.processLens(frame, mode); });
}

QX_EXPORT int32_t QX_API qx_process_color(QxSession* s, uint8_t* frame, int32_t mode) {
    if (s == nullptr || frame == nullptr) return QX_COLOR_NOT_READY;
    return guarded(QX_COLOR_NOT_READY, [&] { return s->session.processColor(frame, mode); });
}

QX_EXPORT int32_t QX_API qx_process_fire(QxSession* s, uint8_t* frame) {
    if (s == nullptr || frame == nullptr) return QX_FIRE_NOT_READY;
    return guarded(QX_FIRE_NOT_READY, [&] { return s->session.processFire(frame); });
}

QX_EXPORT int32_t QX_API qx_process_bkg(QxSession* s, uint8_t* frame, int32_t halo,
                                        int32_t haloColor, int32_t cutLine, int32_t) {
    if (s == nullptr || frame == nullptr) return QX_BKG_NO_REFERENCE;
    return guarded(QX_BKG_NO_REFERENCE,
                   [&] { return s->session.processBkg(frame, halo, haloColor, cutLine); });
}

// A null source is not refused here: for a video it asks, like the empty
// path, to stop the video; a null picture is refused by the session.
QX_EXPORT int32_t QX_API qx_set_bkg(QxSession* s, const void* source, int32_t type, int32_t width,
                                    int32_t height, int32_t) {
    if (s == nullptr) return QX_SET_BKG_REFUSED;
    return guarded(QX_SET_BKG_REFUSED,
                   [&] { return s->session.setBkg(source, type, width, height); });
}

QX_EXPORT int32_t QX_API qx_get_bkg_snapshot(QxSession* s, const uint8_t* frame, int32_t width,
                                             int32_t height, int32_t) {
    if (s == nullptr || frame == nullptr) return QX_SNAPSHOT_REFUSED;
    return guarded(QX_SNAPSHOT_REFUSED,
                   [&] { return s->session.getBkgSnapshot(frame, width, height); });
}

QX_EXPORT int32_t QX_API qx_set_mask_image(QxSession* s, const uint8_t* pixels, int32_t width,
                                           int32_t height, int32_t kind, int32_t magic, int32_t,
                                           int32_t) {
    // A fresh session is not initialised, which is the first thing checked.
    if (s == nullptr) return QX_MASK_IMAGE_NOT_READY;
    return guarded(QX_MASK_IMAGE_NO_MEMORY,
                   [&] { return s->session.setMaskImage(pixels, width, height, kind, magic); });
}

// The verdict depends on the arguments alone, so a null session gets it too.
QX_EXPORT int32_t QX_API qx_test_mask_image(QxSession*, int32_t width, int32_t height, int32_t kind,
                                            int32_t magic, int32_t, int32_t) {
    return guarded(QX_TEST_MASK_BAD_MAGIC,
                   [&] { return quexal::Session::testMaskImage(width, height, kind, magic); });
}

QX_EXPORT int32_t QX_API qx_check_dinamic_bkg(QxSession*, int32_t) {
    return 0;
}

QX_EXPORT int32_t QX_API qx_set_option(QxSession* s, const char* name, int32_t value) {
    if (name == nullptr) return QX_OPTION_UNKNOWN;
    return guarded(QX_OPTION_UNKNOWN, [&] {
        const int32_t verdict = quexal::checkOption(name, value);
        if (verdict != QX_OPTION_SET || s == nullptr) return verdict;
        return s->session.setOption(name, value);
    });
}

}  // extern "C"
