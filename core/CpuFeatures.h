#pragma once
// What the processor may offer beyond the baseline the code is compiled
// for, and the compiler's means to use it.

#if defined(__GNUC__) && defined(__x86_64__) && !defined(WAVRA_NO_CLONES)
// Code for AVX2 is built beside the baseline's and chosen at run time.
// Defining WAVRA_NO_CLONES builds the baseline alone (to measure or test it).
#define WAVRA_X86_AVX2 1
// Compiles a function twice, for AVX2 and for the baseline; the loader picks
// the one the processor can run. Vectorised loops inlined into such a
// function take eight floats per instruction instead of four, with the same
// results: AVX2 brings no fused multiply-add.
#define WAVRA_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define WAVRA_AVX2_CLONES
#endif

#if defined(__GNUC__)
#define WAVRA_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define WAVRA_ALWAYS_INLINE inline
#endif

// Before a loop whose iterations touch disjoint values, or each its own
// value in place: the compiler may vectorise it without checking at run time
// whether the arrays overlap.
#if defined(__clang__)
#define WAVRA_INDEPENDENT_ITERATIONS _Pragma("clang loop vectorize(assume_safety)")
#elif defined(__GNUC__)
#define WAVRA_INDEPENDENT_ITERATIONS _Pragma("GCC ivdep")
#else
#define WAVRA_INDEPENDENT_ITERATIONS
#endif

namespace Lumetra {

#if defined(WAVRA_X86_AVX2)
// True when the processor (and the system) run AVX2 instructions; asked once.
inline bool hasAvx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}
#endif

}  // namespace Lumetra
