// The fire effect: a heat map drawn through a palette, grown for a while
// before the first frame after each initialisation.
#pragma once

#include <cstdint>

#include "effects/fire/fire_routine.h"
#include "session/geometry.h"

namespace quexal {

class FireEffect {
public:
    explicit FireEffect(const FrameGeometry& geometry) : geometry_(geometry) {}

    // A new size: the next frame starts from a fresh map and grows it first.
    void reset() { warmupPending = 1; }
    bool allocate();  // a zeroed map of the frame size; false when memory is short
    void release();
    int process(uint8_t* frame);

    CFireRoutine routine;  // its generator belongs to this session alone
    int32_t warmupPending = 1;

private:
    bool sized_ = false;  // the map was made since the last release
    const FrameGeometry& geometry_;
};

}  // namespace quexal
