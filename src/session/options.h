// Session options: named integer settings a host may change on a session.
// Each has a range and a default that gives the behaviour of a session
// without options; the table is the one place that lists them.
#pragma once

#include <cstdint>
#include <string_view>

#include "quexal/quexal.h"

namespace quexal {

struct OptionRange {
    std::string_view name;
    int32_t low, high, fallback;
};

// Every option a session knows.
inline constexpr OptionRange kOptions[] = {
    {"exposure_compensation", 0, 1, 0},  // background: follow the camera's exposure
    // mask: smallest face searched, thousandths of the frame width; 217
    // stands for the default window (a sixth of the frame, reduced image)
    {"min_face_permille", 10, 1000, QX_MIN_FACE_DEFAULT},
    {"async_detect", 0, 1, 0},  // mask: detect on a worker, frames never wait
};

// The range of `name`, or null for an unknown name.
const OptionRange* findOption(std::string_view name);

// QX_OPTION_SET when `value` is in range for a known `name`, else the
// refusal code; changes nothing.
int32_t checkOption(std::string_view name, int32_t value);

}  // namespace quexal
