#include "core/effect_context.h"

#include "api/session_handle.h"
#include "background/video/video_reader.h"

namespace quexal {

EffectContext::EffectContext() = default;

EffectContext::~EffectContext() { destroyContext(); }

EffectContext& theContext() { return defaultSession()->session; }

}  // namespace quexal
