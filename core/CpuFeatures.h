#pragma once
// What the processor offers beyond the baseline the code is compiled for.

namespace Lumetra {

#if defined(__GNUC__) && defined(__x86_64__)
// True when the processor (and the system) run AVX2 instructions; asked once.
inline bool hasAvx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}
#endif

}  // namespace Lumetra
