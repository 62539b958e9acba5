#include "session/options.h"

#include "quexal/quexal.h"

namespace quexal {

const OptionSpec* findOption(std::string_view name) {
    for (const OptionSpec& spec : kOptions)
        if (spec.name == name) return &spec;
    return nullptr;
}

int32_t checkOption(std::string_view name, int32_t value) {
    const OptionSpec* spec = findOption(name);
    if (spec == nullptr) return QX_OPTION_UNKNOWN;
    if (value < spec->low || value > spec->high) return QX_OPTION_OUT_OF_RANGE;
    return QX_OPTION_SET;
}

}  // namespace quexal
