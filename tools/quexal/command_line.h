#pragma once

#include <string>

#include <CLI/App.hpp>

#include "commands.h"

namespace qxcli {

enum class Command { None, Run, Demo, MakeMasks };

// What the command line asked for, filled in by CLI11 while it parses.
struct CommandLine {
    Command command = Command::None;
    RunArgs run;
    DemoArgs demo;
    std::string masksDir;
    std::string halo;  // --halo as written, turned into run.options by finishRunArgs
};

// Declares the subcommands and their options on app, bound to line. The
// help text CLI11 prints from this is the one usage text of the program.
void describeCommandLine(CLI::App& app, CommandLine& line);

// Checks that need more than one option (a mask needs --kind) and turns
// the --halo text into a colour. Throws HostError.
void finishRunArgs(CommandLine& line);

// The program's version line, e.g. "quexal 0.1.0".
std::string versionText();

}  // namespace qxcli
