#include <exception>
#include <string>

#include "commands.h"
#include "host_error.h"

namespace qxcli {

int parseInt(const std::string& option, const std::string& text) {
    size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size()) throw HostError(option + " takes a whole number, not '" + text + "'");
    return value;
}

double parseDouble(const std::string& option, const std::string& text) {
    size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || !(value > 0)) throw HostError(option + " takes a positive number");
    return value;
}

uint32_t parseColour(const std::string& option, const std::string& text) {
    size_t used = 0;
    unsigned long value = 0;
    try {
        value = std::stoul(text, &used, 0);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value > 0xFFFFFF)
        throw HostError(option + " takes a colour 0xBBGGRR, not '" + text + "'");
    return static_cast<uint32_t>(value);
}

const std::string& optionValue(const Args& args, size_t& i) {
    if (i + 1 >= args.size()) throw HostError(args[i] + " needs a value");
    return args[++i];
}

}  // namespace qxcli
