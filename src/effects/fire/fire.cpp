#include "effects/fire/fire_effect.h"
#include "quexal/quexal.h"

namespace quexal {

// Steps run ahead of the first fire frame after each initialisation, so that
// it shows a fully grown fire.
constexpr int32_t kFireWarmupSteps = 100;

bool FireEffect::allocate() {
    try {
        routine.SetSize(geometry_.width, geometry_.height);
    } catch (...) {
        return false;  // the old map stays, and with it a size that refuses
    }
    sized_ = true;
    return true;
}

// The generator is not part of the map: it runs on across sizes.
void FireEffect::release() {
    routine.heat = {};
    routine.rowStart = {};
    sized_ = false;
}

int FireEffect::process(uint8_t* frame) {
    if (!sized_ && !allocate()) return QX_FIRE_NOT_READY;
    // The map always has the size of the last successful initialisation,
    // which is the frame size.
    if (routine.width != geometry_.width || routine.height != geometry_.height)
        return QX_FIRE_NOT_READY;
    if (warmupPending == 1) {
        routine.Run(kFireWarmupSteps);
        warmupPending = 0;
    }
    routine.Render(frame, geometry_.rowOrder());
    return QX_DONE;
}

}  // namespace quexal
