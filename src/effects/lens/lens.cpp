#include "core/effect_context.h"
#include "quexal/quexal.h"

namespace quexal {

int EffectContext::processLens(uint8_t*, int32_t) { return QX_LENS_NOT_READY; }

}  // namespace quexal
