#pragma once

#include <cstdint>
#include <string>

#include "effect_choice.h"
#include "library_host.h"

namespace qxcli {

// Exit status of a run stopped by Ctrl-C on a file: 128 + SIGINT, as a
// shell reports a program the signal ended.
constexpr int kExitInterrupted = 130;

// quexal run EFFECT INPUT OUTPUT [options]
struct RunArgs {
    std::string effect, input, output, dataOverride;
    EffectOptions options;
    RowOrder order = RowOrder::BottomUp;
    int frames = 0;  // 0: all
    double fps = 0;  // 0: the input's
    bool quiet = false;
    bool show = false;  // preview window
};

// quexal demo --out DIR [--data DIR]
struct DemoArgs {
    std::string outDir, dataOverride;
};

// Each returns the exit status; errors the user must fix are thrown as
// HostError.
int runCommand(const RunArgs& args);
int demoCommand(const DemoArgs& args);

// A colour written 0xBBGGRR (or in decimal); throws HostError naming option
// when the text is not a whole 24-bit number.
uint32_t parseColour(const std::string& option, const std::string& text);

}  // namespace qxcli
