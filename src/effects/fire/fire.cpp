#include "core/effect_context.h"
#include "quexal/quexal.h"

namespace quexal {

// Steps run ahead of the first fire frame after each initialisation, so that
// it shows a fully grown fire.
constexpr int32_t kFireWarmupSteps = 100;

int EffectContext::processFire(uint8_t* frame) {
    if (status == -1) return QX_FIRE_NOT_READY;
    // The map always has the size of the last successful initialisation,
    // which is the frame size.
    if (fire.width != frameWidth || fire.height != frameHeight) return QX_FIRE_NOT_READY;
    if (fireWarmupPending == 1) {
        fire.Run(kFireWarmupSteps);
        fireWarmupPending = 0;
    }
    fire.Render(frame, rowOrderOf(reverseRows));
    return QX_DONE;
}

}  // namespace quexal
