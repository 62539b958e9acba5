#include "session/session.h"
#include "quexal/quexal.h"

namespace quexal {

// Steps run ahead of the first fire frame after each initialisation, so that
// it shows a fully grown fire.
constexpr int32_t kFireWarmupSteps = 100;

int Session::processFire(uint8_t* frame) {
    if (status == kNotReady) return QX_FIRE_NOT_READY;
    if (fireWarmupPending == 1) {
        // A session that allocates on first use sizes the map now: zeroed,
        // as init leaves it for one that allocates at init.
        if (policy_ == BufferPolicy::OnFirstUse) {
            try {
                fire.SetSize(geometry.width, geometry.height);
            } catch (...) {
                return QX_FIRE_NOT_READY;
            }
        }
    }
    // The map always has the size of the last successful initialisation,
    // which is the frame size.
    if (fire.width != geometry.width || fire.height != geometry.height) return QX_FIRE_NOT_READY;
    if (fireWarmupPending == 1) {
        fire.Run(kFireWarmupSteps);
        fireWarmupPending = 0;
    }
    fire.Render(frame);
    return QX_DONE;
}

}  // namespace quexal
