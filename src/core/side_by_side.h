// Two independent pieces of work on two cores: `beside` on a thread of its
// own while `here` runs on the caller's. A plain thread rather than
// OpenCV's pool: its start and join order the hand-over for any checker
// (ThreadSanitizer sees nothing of the pool's own synchronisation), and
// neither piece waits behind other users of the pool.
#pragma once

#include <functional>

namespace quexal {

// Runs both and returns once both are done; without a thread to be had,
// `beside` then `here` run in turn. An exception from either is rethrown
// after both have finished, `here`'s first.
void runSideBySide(const std::function<void()>& beside, const std::function<void()>& here);

}  // namespace quexal
