// Which way up a host stores its frames. Effects that work on the host's
// buffer directly, rather than on a working image, walk it accordingly.
#pragma once

#include <cstdint>

namespace quexal {

enum class RowOrder {
    BottomFirst,  // the first row in memory is the bottom of the picture
    TopFirst,     // the first row in memory is the top of the picture
};

// The order named by the context's reverseRows flag (1: bottom first).
inline RowOrder rowOrderOf(int32_t reverseRows) {
    return reverseRows == 1 ? RowOrder::BottomFirst : RowOrder::TopFirst;
}

}  // namespace quexal
