#include "core/effect_context.h"
#include "quexal/quexal.h"

namespace quexal {

int EffectContext::processMask(uint8_t*, int32_t) { return QX_MASK_NOT_READY; }

}  // namespace quexal
