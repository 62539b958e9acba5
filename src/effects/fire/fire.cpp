#include "core/effect_context.h"
#include "quexal/quexal.h"

namespace quexal {

int EffectContext::processFire(uint8_t*) { return QX_FIRE_NOT_READY; }

}  // namespace quexal
