#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qxcli {

using Args = std::vector<std::string>;

// Each returns the exit status; errors the user must fix are thrown as
// HostError.
int runCommand(const Args& args);
int demoCommand(const Args& args);

// Parsing helpers shared by the commands.
int parseInt(const std::string& option, const std::string& text);
double parseDouble(const std::string& option, const std::string& text);
uint32_t parseColour(const std::string& option, const std::string& text);

// The value following option at args[i]; advances i. Throws when missing.
const std::string& optionValue(const Args& args, size_t& i);

}  // namespace qxcli
