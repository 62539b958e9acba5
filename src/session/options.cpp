#include "session/options.h"

#include "quexal/quexal.h"

namespace quexal {

const OptionRange* findOption(std::string_view name) {
    for (const OptionRange& option : kOptions)
        if (option.name == name) return &option;
    return nullptr;
}

int32_t checkOption(std::string_view name, int32_t value) {
    const OptionRange* option = findOption(name);
    if (option == nullptr) return QX_OPTION_UNKNOWN;
    if (value < option->low || value > option->high) return QX_OPTION_OUT_OF_RANGE;
    return QX_OPTION_SET;
}

}  // namespace quexal
