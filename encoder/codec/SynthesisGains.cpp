#include "encoder/codec/SynthesisGains.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "encoder/codec/BorderPieces.h"
#include "format/Wavelet.h"
#include "imaging/transform/YiqMatrices.h"

namespace {

constexpr int kDeepest = 9;  // the deepest decomposition

struct LineGains {
    OutputGains low[kDeepest + 1];   // index = depth
    OutputGains high[kDeepest + 1];
};

// One level of 1-D synthesis (the exact inverse of the encoder's lifting),
// with zeros outside the line: the basis functions looked at here lie far
// from both ends.
std::vector<double> synthesise(const std::vector<double>& low, const std::vector<double>& high) {
    namespace fl = Lumetra::Cdf97Analysis;
    const size_t n = low.size() + high.size();
    std::vector<double> x(n, 0.0);
    for (size_t i = 0; i < low.size(); ++i) x[2 * i] = low[i] / double(fl::K);
    for (size_t i = 0; i < high.size(); ++i) x[2 * i + 1] = high[i] / double(fl::invK);
    auto step = [&](size_t parity, double c) {
        for (size_t p = parity; p < n; p += 2) {
            const double a = p > 0 ? x[p - 1] : 0.0, b = p + 1 < n ? x[p + 1] : 0.0;
            x[p] += c * (a + b);
        }
    };
    step(0, -double(fl::delta));
    step(1, -double(fl::gamma));
    step(0, double(fl::beta));
    step(1, double(fl::alpha));
    return x;
}

// The basis function of a coefficient in the middle of a band of `depth`
// (low or high at that depth), as samples of the full-resolution line.
std::vector<double> basis(int depth, bool high) {
    const size_t length = size_t(16) << depth;
    size_t n = length >> depth;  // coefficients of each band at this depth
    std::vector<double> lo(n, 0.0), hi(n, 0.0);
    (high ? hi : lo)[n / 2] = 1.0;
    std::vector<double> line = synthesise(lo, hi);
    for (int d = depth - 1; d >= 1; --d) {
        n = length >> d;
        line = synthesise(line, std::vector<double>(n, 0.0));
    }
    return line;
}

OutputGains gains_of(const std::vector<double>& phi, int depth) {
    OutputGains g;
    g.energy = 0.0;
    for (double v : phi) g.energy += v * v;
    const size_t period = size_t(1) << depth;
    g.peak = 0.0;
    for (size_t phase = 0; phase < period; ++phase) {
        double sum = 0.0;
        for (size_t p = phase; p < phi.size(); p += period) sum += std::fabs(phi[p]);
        g.peak = std::max(g.peak, sum);
    }
    return g;
}

// The gains of one depth, worked out when first asked for: the deeper, the
// longer the basis functions, and a small image never needs the deepest.
const LineGains& line_gains(int depth) {
    static LineGains gains;
    static std::once_flag once[kDeepest + 1];
    std::call_once(once[depth], [depth] {
        gains.low[depth] = gains_of(basis(depth, false), depth);
        gains.high[depth] = gains_of(basis(depth, true), depth);
    });
    return gains;
}

}  // namespace

OutputGains subband_output_gains(int subband, int levels) {
    int depth = 0, xFilter = LowPass, yFilter = LowPass;
    leafKind(std::max(subband, 0), levels, depth, xFilter, yFilter);
    depth = std::clamp(depth, 1, kDeepest);
    const LineGains& g = line_gains(depth);
    const OutputGains& x = xFilter == HighPass ? g.high[depth] : g.low[depth];
    const OutputGains& y = yFilter == HighPass ? g.high[depth] : g.low[depth];
    OutputGains r;
    r.peak = x.peak * y.peak;
    r.energy = x.energy * y.energy;
    return r;
}

OutputGains band_output_gains(int band, int bands) {
    // Columns of the inverse of the YIQ transform the encoder applies.
    constexpr const double(&inverse)[3][3] = Lumetra::Yiq::kToRgb;
    OutputGains g;
    if (bands < 3 || band < 0 || band > 2) return g;  // grey, or K of CMYK: passed through
    g.peak = 0.0;
    g.energy = 0.0;
    for (int i = 0; i < 3; ++i) {
        g.peak = std::max(g.peak, std::fabs(inverse[i][band]));
        g.energy += inverse[i][band] * inverse[i][band] / 3.0;
    }
    return g;
}
