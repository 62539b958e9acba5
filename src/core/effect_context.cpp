#include "core/effect_context.h"

#include "background/video/video_reader.h"

namespace quexal {

EffectContext::EffectContext() = default;

EffectContext::~EffectContext() { destroyContext(); }

// Built when the library is loaded, before the host can call anything, and
// destroyed when it is unloaded.
static EffectContext context;

EffectContext& theContext() { return context; }

}  // namespace quexal
