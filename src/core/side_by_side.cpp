#include "core/side_by_side.h"

#include <exception>
#include <system_error>
#include <thread>

namespace quexal {

void runSideBySide(const std::function<void()>& beside, const std::function<void()>& here) {
    std::exception_ptr besideFailed;
    std::thread thread;
    try {
        thread = std::thread([&beside, &besideFailed] {
            try {
                beside();
            } catch (...) {
                besideFailed = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        beside();  // no thread to be had: in turn
        here();
        return;
    }
    // Joined on every path, so that a failing piece never leaves the other
    // one running on shared inputs.
    std::exception_ptr hereFailed;
    try {
        here();
    } catch (...) {
        hereFailed = std::current_exception();
    }
    thread.join();
    if (hereFailed) std::rethrow_exception(hereFailed);
    if (besideFailed) std::rethrow_exception(besideFailed);
}

}  // namespace quexal
