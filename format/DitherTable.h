#pragma once
// The fixed 128 x 128 dither table shared by the quantiser and the
// dequantiser. Row-major: T[r][c] = ditherTable()[r * 128 + c]. Values are
// pseudo-random and uniform on [-0.25, 0.25].

namespace Lumetra {

constexpr int kDitherSize = 128;

// The table, built at compile time; the pointer stays valid for the
// whole process and the contents never change.
const float* ditherTable();

// Walks a row of `width` samples that takes the table's row `row` from
// column `column` on and around again, in runs that do not wrap: calls
// visit(x, values, n) for n samples from sample x, whose table values are
// values[0 .. n - 1].
template <class Visit>
void forEachDitherRun(const float* row, int column, int width, Visit&& visit) {
    for (int x = 0; x < width;) {
        const int n = width - x < kDitherSize - column ? width - x : kDitherSize - column;
        visit(x, row + column, n);
        x += n;
        column = 0;
    }
}

}  // namespace Lumetra
