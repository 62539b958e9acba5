#include "core/cpu_features.h"

namespace quexal::detail {

bool avx2Available() {
#if defined(__x86_64__) || defined(__i386__)
    static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return available;
#else
    return false;
#endif
}

}  // namespace quexal::detail
