#include "core/effect_context.h"
#include "quexal/quexal.h"

namespace quexal {

int EffectContext::processColor(uint8_t*, int32_t) { return QX_COLOR_NOT_READY; }

}  // namespace quexal
