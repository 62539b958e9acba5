#include "core/effect_context.h"
#include "quexal/quexal.h"

namespace quexal {

int EffectContext::setBkg(const void*, int32_t, int32_t, int32_t) { return QX_SET_BKG_REFUSED; }
int EffectContext::getBkgSnapshot(const uint8_t*, int32_t, int32_t) { return QX_SNAPSHOT_REFUSED; }
int EffectContext::processBkg(uint8_t*, int32_t, int32_t, int32_t) { return QX_BKG_NO_REFERENCE; }

}  // namespace quexal
