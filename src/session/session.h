#pragma once

#include "core/effect_context.h"

namespace quexal {

using Session = EffectContext;

}  // namespace quexal
