#pragma once
// The value range of one side of a conversion, stored maximum first, with
// the window (width) and level (centre) adjustments.

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "core/Exception.h"

namespace Lumetra {

template <class T>
struct SampleRange {
    T max = std::numeric_limits<T>::max();
    T min = 0;

    SampleRange() = default;
    SampleRange(T maximum, T minimum) : max(maximum), min(minimum) {}

    // Throws InvalidArgumentException "Attempt to set range with min > max."
    // (range unchanged) when maximum < minimum.
    void set(T minimum, T maximum) {
        if (maximum < minimum) throw InvalidArgumentException("Attempt to set range with min > max.");
        min = minimum;
        max = maximum;
    }

    // Width max - min + 1 in the range's own arithmetic (double).
    double width() const { return double(max) - double(min) + 1.0; }

    // Re-centres the range with width w unless it has that width already.
    // Integer ranges take w truncated to the sample type (ignoring a result
    // of 0) and keep the new bounds in the sample type.
    void setWindow(float w) {
        if constexpr (std::is_floating_point<T>::value) {
            if (double(max) - double(min) + 1.0 == double(w)) return;
            const double wc = w < 0 ? 0.0 : double(w);
            const double lo = (double(max) + double(min)) * 0.5 - wc * 0.5;
            min = T(lo);
            max = T(wc + double(min) - 1.0);
        } else {
            const T wt = T(toInteger(w));
            // A window that is 0 in the sample type (256 for 8 bits) would
            // leave an empty range and an infinite scale: not a window.
            if (wt == 0 || int64_t(max) - int64_t(min) + 1 == int64_t(wt)) return;
            const int64_t centre = int64_t((double(max) + double(min)) * 0.5);
            min = T(toInteger(double(centre) - double(wt) * 0.5));
            max = T(int64_t(wt) + int64_t(min) - 1);
        }
    }

    // Moves the range so that its centre is trunc(c), keeping the width.
    void setLevel(float c) {
        if constexpr (std::is_floating_point<T>::value) {
            const int64_t width = toInteger(double(max) - double(min) + 1.0);
            const double lo = double(toInteger(c)) - double((width - 1) >> 1);
            min = T(lo);
            max = T(lo + double(width) - 1.0);
        } else {
            const int64_t width = int64_t(max) - int64_t(min) + 1;
            const int64_t lo = toInteger(c) - ((width - 1) >> 1);
            min = T(lo);
            max = T(lo + width - 1);
        }
    }

private:
    // Truncation toward zero that never overflows (NaN gives 0).
    static int64_t toInteger(double v) {
        if (!(v == v)) return 0;
        if (v >= 9.2e18) return int64_t(9200000000000000000LL);
        if (v <= -9.2e18) return -int64_t(9200000000000000000LL);
        return int64_t(v);
    }
};

}  // namespace Lumetra
