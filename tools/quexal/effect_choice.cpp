#include "effect_choice.h"

#include <array>

#include "quexal/quexal.h"

namespace qxcli {

namespace {

struct NamedMode {
    const char* name;
    int mode;
};

constexpr std::array<NamedMode, 5> kColourModes = {{
    {"negative", QX_COLOR_NEGATIVE},
    {"grey", QX_COLOR_GREY},
    {"glow", QX_COLOR_GLOW},
    {"softgrey", QX_COLOR_SOFT_GREY},
    {"sepia", QX_COLOR_SEPIA},
}};

// The radial lenses named after what they do to the picture.
constexpr std::array<NamedMode, 7> kLensModes = {{
    {"swirl", 1},
    {"mirror", 2},
    {"funnel", 3},
    {"bulge", 4},
    {"magnify", 5},
    {"stretch", 6},
    {"pinch", 7},
}};

constexpr std::array<NamedMode, 2> kEyeModes = {{{"pixelate", 1}, {"blur", 2}}};

template <size_t N>
std::optional<int> lookUp(const std::array<NamedMode, N>& table, std::string_view name) {
    for (const NamedMode& m : table)
        if (name == m.name) return m.mode;
    return std::nullopt;
}

}  // namespace

std::optional<EffectChoice> parseEffect(std::string_view text) {
    const size_t colon = text.find(':');
    const std::string_view head = text.substr(0, colon);
    const std::string_view tail = colon == std::string_view::npos ? "" : text.substr(colon + 1);
    const bool hasTail = colon != std::string_view::npos;
    EffectChoice choice;
    choice.name = std::string(text);

    if (head == "colour" || head == "color") {
        const auto mode = lookUp(kColourModes, tail);
        if (!mode) return std::nullopt;
        choice.family = Family::Colour;
        choice.mode = *mode;
        choice.name = "colour:" + std::string(tail);
        return choice;
    }
    if (head == "lens") {
        const bool digit = tail.size() == 1 && tail[0] >= '1' && tail[0] <= '7';
        const auto named = lookUp(kLensModes, tail);
        if (!digit && !named) return std::nullopt;
        choice.family = Family::Lens;
        choice.mode = digit ? tail[0] - '0' : *named;
        choice.name = "lens:" + std::to_string(choice.mode);
        return choice;
    }
    if (head == "eyes") {
        const auto mode = lookUp(kEyeModes, tail);
        if (!mode) return std::nullopt;
        choice.family = Family::Eyes;
        choice.mode = *mode;
        return choice;
    }
    if (hasTail) return std::nullopt;
    if (head == "fire")
        choice.family = Family::Fire;
    else if (head == "mask")
        choice.family = Family::Mask;
    else if (head == "background")
        choice.family = Family::Background;
    else
        return std::nullopt;
    return choice;
}

std::string lensName(int mode) {
    for (const NamedMode& m : kLensModes)
        if (m.mode == mode) return m.name;
    return {};
}

std::vector<std::string> knownEffectNames() {
    std::vector<std::string> names;
    for (const NamedMode& m : kColourModes) names.push_back(std::string("colour:") + m.name);
    for (const NamedMode& m : kLensModes) names.push_back("lens:" + std::to_string(m.mode));
    names.push_back("fire");
    names.push_back("mask");
    for (const NamedMode& m : kEyeModes) names.push_back(std::string("eyes:") + m.name);
    names.push_back("background");
    return names;
}

}  // namespace qxcli
