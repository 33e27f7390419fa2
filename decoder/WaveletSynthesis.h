#pragma once
// Windowed one-level inverse CDF 9/7 lifting, with whole-sample symmetric
// extension at both ends of the line.

#include <cstddef>
#include <vector>

#include "core/FloatBuffer.h"

namespace Lumetra {

// One band of input lines: sample i of lane c is at
// data[(i - first) * step + c], for first <= i < first + count.
struct SynthesisInput {
    const float* data = nullptr;
    std::ptrdiff_t step = 1;
    int first = 0;
    int count = 0;
    int fullLength = 0;  // NL or NH of the line
};

// Writes samples a..b of `lanes` parallel lines (lane c of sample n at
// out[(n - a) * outStep + c]) from their low and high bands. Equals the
// full-line synthesis restricted to [a, b] for lines of five or more samples;
// for shorter lines the values are unspecified but every read stays inside
// the given inputs. `scratch` is reused between calls.
void synthesizeLines(int a, int b, const SynthesisInput& low, const SynthesisInput& high, float* out,
                     std::ptrdiff_t outStep, int lanes, FloatBuffer& scratch);

}  // namespace Lumetra
