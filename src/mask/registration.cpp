#include "core/effect_context.h"
#include "quexal/quexal.h"

namespace quexal {

int EffectContext::setMaskImage(const uint8_t*, int32_t, int32_t, int32_t, int32_t) {
    return status == -1 ? QX_MASK_IMAGE_NOT_READY : QX_MASK_IMAGE_BAD;
}

int EffectContext::testMaskImage(int32_t, int32_t, int32_t, int32_t) { return QX_TEST_MASK_BAD_KIND; }

}  // namespace quexal
