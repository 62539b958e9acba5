#pragma once

#include <stdexcept>
#include <string>

namespace qxcli {

// Anything the user has to fix: a missing file, a bad option, a refusal from
// the library. main() prints it as one line and exits non-zero.
struct HostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace qxcli
