// What the processor offers beyond the baseline, asked once per process.
#pragma once

namespace quexal::detail {

// True when the processor has AVX2 and FMA (always false off x86). Every
// vector row of the library checks this and keeps a portable row beside it.
bool avx2Available();

}  // namespace quexal::detail
