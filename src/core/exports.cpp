// The exported entry points. Each one is a guard: it refuses what it can
// see is unusable (null pointers), hands the rest to the context, and lets
// no exception reach the host.
#include "quexal/quexal.h"

#include "core/effect_context.h"

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

quexal::EffectContext& ctx() { return quexal::theContext(); }

}  // namespace

extern "C" {

QX_EXPORT int32_t QX_API _QX_init(const char* path, int32_t width, int32_t height, int32_t,
                                  int32_t) {
    return guarded(QX_INIT_REFUSED, [&] { return ctx().init(path, width, height); });
}

QX_EXPORT int32_t QX_API _QX_process_mask(uint8_t* frame, int32_t mode, int32_t) {
    if (frame == nullptr) return QX_MASK_NOT_READY;
    return guarded(QX_MASK_NOT_READY, [&] { return ctx().processMask(frame, mode); });
}

QX_EXPORT int32_t QX_API _QX_process_lens(uint8_t* frame, int32_t mode) {
    if (frame == nullptr) return QX_LENS_NOT_READY;
    return guarded(QX_LENS_NOT_READY, [&] { return ctx().processLens(frame, mode); });
}

QX_EXPORT int32_t QX_API _QX_process_color(uint8_t* frame, int32_t mode) {
    if (frame == nullptr) return QX_COLOR_NOT_READY;
    return guarded(QX_COLOR_NOT_READY, [&] { return ctx().processColor(frame, mode); });
}

QX_EXPORT int32_t QX_API _QX_process_fire(uint8_t* frame) {
    if (frame == nullptr) return QX_FIRE_NOT_READY;
    return guarded(QX_FIRE_NOT_READY, [&] { return ctx().processFire(frame); });
}

QX_EXPORT int32_t QX_API _QX_process_bkg(uint8_t* frame, int32_t halo, int32_t haloColor,
                                         int32_t cutLine, int32_t) {
    if (frame == nullptr) return QX_BKG_NO_REFERENCE;
    return guarded(QX_BKG_NO_REFERENCE,
                   [&] { return ctx().processBkg(frame, halo, haloColor, cutLine); });
}

QX_EXPORT int32_t QX_API _QX_set_bkg(const void* source, int32_t type, int32_t width,
                                     int32_t height, int32_t) {
    if (source == nullptr) return QX_SET_BKG_REFUSED;
    return guarded(QX_SET_BKG_REFUSED, [&] { return ctx().setBkg(source, type, width, height); });
}

QX_EXPORT int32_t QX_API _QX_get_bkg_snapshot(const uint8_t* frame, int32_t width,
                                              int32_t height, int32_t) {
    if (frame == nullptr) return QX_SNAPSHOT_REFUSED;
    return guarded(QX_SNAPSHOT_REFUSED,
                   [&] { return ctx().getBkgSnapshot(frame, width, height); });
}

QX_EXPORT int32_t QX_API _QX_set_mask_image(const uint8_t* pixels, int32_t width,
                                            int32_t height, int32_t kind, int32_t magic,
                                            int32_t, int32_t) {
    return guarded(QX_MASK_IMAGE_NO_MEMORY,
                   [&] { return ctx().setMaskImage(pixels, width, height, kind, magic); });
}

QX_EXPORT int32_t QX_API _QX_test_mask_image(int32_t width, int32_t height, int32_t kind,
                                             int32_t magic, int32_t, int32_t) {
    return guarded(QX_TEST_MASK_BAD_MAGIC, [&] {
        return quexal::EffectContext::testMaskImage(width, height, kind, magic);
    });
}

QX_EXPORT int32_t QX_API _QX_check_dinamic_bkg(int32_t) { return 0; }

}  // extern "C"
