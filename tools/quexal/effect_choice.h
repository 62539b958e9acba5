#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qxcli {

enum class Family { Colour, Lens, Fire, Mask, Eyes, Background };

// One effect as named on the command line: "colour:sepia", "lens:3",
// "fire", "mask", "eyes:blur", "background".
struct EffectChoice {
    Family family = Family::Colour;
    int mode = 0;  // colour mode, lens mode or eye-band mode; 0 otherwise
    std::string name;
};

std::optional<EffectChoice> parseEffect(std::string_view text);

// The name of a lens mode ("swirl" for 1, ..., "pinch" for 7); lens:NAME
// parses as lens:N.
std::string lensName(int mode);

// Every effect name the host knows, for the usage text and the demo.
std::vector<std::string> knownEffectNames();

// Settings of the effects that need more than a mode.
struct EffectOptions {
    std::string picture;    // mask picture (PNG with alpha)
    int kind = 0;           // mask kind: 1, 2, 3, 4 or 8
    std::string source;     // background picture or video file
    std::string reference;  // empty scene; the first input frame if empty
    bool halo = false;
    uint32_t haloColor = 0;             // 0xBBGGRR
    int cutLine = 0;                    // percent of the height, 0 for none
    bool exposureCompensation = false;  // background: follow the camera's exposure
    int minFacePermille = 0;            // mask: smallest face, 0 for the library's default
    int asyncDetect = -1;               // mask: 1 on, 0 off, -1 on for a camera only
};

}  // namespace qxcli
