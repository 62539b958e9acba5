#include "core/effect_context.h"

namespace quexal {

int EffectContext::detectFace(const uint8_t*) { return 0; }
int EffectContext::trackFace(const uint8_t*) { return 0; }

}  // namespace quexal
