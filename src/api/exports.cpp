// The exported entry points: each is its session twin over the default
// session, which is built when the library is loaded and destroyed when it
// is unloaded.
#include "api/session_handle.h"
#include "quexal/quexal.h"

namespace quexal {

namespace {
QxSession theDefaultSession(BufferPolicy::AtInit);
}  // namespace

QxSession* defaultSession() {
    return &theDefaultSession;
}

}  // namespace quexal

using quexal::defaultSession;

extern "C" {

QX_EXPORT int32_t QX_API _QX_init(const char* path, int32_t width, int32_t height, int32_t a,
                                  int32_t b) {
    return qx_init(defaultSession(), path, width, height, a, b);
}

QX_EXPORT int32_t QX_API _QX_process_mask(uint8_t* frame, int32_t mode, int32_t a) {
    return qx_process_mask(defaultSession(), frame, mode, a);
}

QX_EXPORT int32_t QX_API _QX_process_lens(uint8_t* frame, int32_t mode) {
    return qx_process_lens(defaultSession(), frame, mode);
}

QX_EXPORT int32_t QX_API _QX_process_color(uint8_t* frame, int32_t mode) {
    return qx_process_color(defaultSession(), frame, mode);
}

QX_EXPORT int32_t QX_API _QX_process_fire(uint8_t* frame) {
    return qx_process_fire(defaultSession(), frame);
}

QX_EXPORT int32_t QX_API _QX_process_bkg(uint8_t* frame, int32_t halo, int32_t haloColor,
                                         int32_t cutLine, int32_t a) {
    return qx_process_bkg(defaultSession(), frame, halo, haloColor, cutLine, a);
}

QX_EXPORT int32_t QX_API _QX_set_bkg(const void* source, int32_t type, int32_t width,
                                     int32_t height, int32_t a) {
    return qx_set_bkg(defaultSession(), source, type, width, height, a);
}

QX_EXPORT int32_t QX_API _QX_get_bkg_snapshot(const uint8_t* frame, int32_t width, int32_t height,
                                              int32_t a) {
    return qx_get_bkg_snapshot(defaultSession(), frame, width, height, a);
}

QX_EXPORT int32_t QX_API _QX_set_mask_image(const uint8_t* pixels, int32_t width, int32_t height,
                                            int32_t kind, int32_t magic, int32_t a, int32_t b) {
    return qx_set_mask_image(defaultSession(), pixels, width, height, kind, magic, a, b);
}

QX_EXPORT int32_t QX_API _QX_test_mask_image(int32_t width, int32_t height, int32_t kind,
                                             int32_t magic, int32_t a, int32_t b) {
    return qx_test_mask_image(defaultSession(), width, height, kind, magic, a, b);
}

QX_EXPORT int32_t QX_API _QX_check_dinamic_bkg(int32_t a) {
    return qx_check_dinamic_bkg(defaultSession(), a);
}

}  // extern "C"
