#include "encoder/codec/Quantiser.h"

#include <algorithm>
#include <cmath>

#include "format/Dequantiser.h"
#include "format/DitherTable.h"

namespace {

constexpr float kLargestIndex = 32760.0f;
constexpr float kEnlargement = 0.000030525032f;  // about 1 / 32760

// Step that keeps every index of coefficients up to `magnitude` within 16 bits.
float usable_step(float magnitude, float step) {
    const double half = double(step) * 0.5;
    const double top = (double(magnitude) - half) / double(step) + 1.0;
    if (top > 1e9 || std::trunc(top) > double(kLargestIndex)) return magnitude * kEnlargement;
    return step;
}

// |c| < half gives 0; otherwise the count of whole steps above half, plus
// one, with the sign of c.
inline int16_t index_of(float c, float step, float half) {
    const float a = std::fabs(c);
    const int q = a >= half ? int((a - half) / step) + 1 : 0;
    return int16_t(c < 0.0f ? -q : q);
}

}  // namespace

float sq(const float* coefficients, int width, int height, size_t stride, float step,
         const DitherOffsets* dither, int x0, int y0, int16_t* indices, float rounding) {
    const size_t w = size_t(std::max(width, 0));
    const size_t h = size_t(std::max(height, 0));
    if (step == 0.0f || w == 0 || h == 0) {
        std::fill(indices, indices + w * h, int16_t(0));
        return step;
    }
    float largest = 0.0f, smallest = 0.0f;
    for (size_t y = 0; y < h; ++y) {
        const float* row = coefficients + y * stride;
        for (size_t x = 0; x < w; ++x) {
            largest = std::max(largest, row[x]);
            smallest = std::min(smallest, row[x]);
        }
    }
    step = usable_step(std::max(largest, -smallest), step);
    if (step == 0.0f) {
        std::fill(indices, indices + w * h, int16_t(0));
        return step;
    }
    const float half = step * (1.0f - rounding);  // where index 1 starts
    const float* table = Lumetra::ditherTable();
    for (size_t y = 0; y < h; ++y) {
        const float* row = coefficients + y * stride;
        int16_t* out = indices + y * w;
        if (dither) {
            const float* ditherRow =
                table +
                size_t((y0 + int(y) + dither->row) & (Lumetra::kDitherSize - 1)) * Lumetra::kDitherSize;
            int column = (x0 + dither->column) & (Lumetra::kDitherSize - 1);
            for (size_t x = 0; x < w; ++x) {
                out[x] = index_of(row[x] + step * ditherRow[column], step, half);
                column = (column + 1) & (Lumetra::kDitherSize - 1);
            }
        } else {
            for (size_t x = 0; x < w; ++x) out[x] = index_of(row[x], step, half);
        }
    }
    return step;
}

void sq_inv(const int16_t* indices, int width, int height, float step, const DitherOffsets* dither, int x0,
            int y0, float* values) {
    Lumetra::DitherSetting setting;
    setting.on = dither != nullptr;
    setting.d0 = dither ? dither->column : 0;
    setting.d1 = dither ? dither->row : 0;
    setting.x0 = x0;
    setting.y0 = y0;
    const int w = std::max(width, 0);
    Lumetra::dequantise(indices, w, w, std::max(height, 0), step, setting, values, w);
}
