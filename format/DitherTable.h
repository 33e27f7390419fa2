#pragma once
// The fixed 128 x 128 dither table shared by the quantiser and the
// dequantiser. Row-major: T[r][c] = ditherTable()[r * 128 + c]. Values are
// pseudo-random and uniform on [-0.25, 0.25].

namespace Lumetra {

constexpr int kDitherSize = 128;

// The table, built at compile time; the pointer stays valid for the
// whole process and the contents never change.
const float* ditherTable();

}  // namespace Lumetra
