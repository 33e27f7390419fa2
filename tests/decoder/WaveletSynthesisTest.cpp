// Windowed inverse lifting against straightforward full-line references.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "decoder/WaveletSynthesis.h"
#include "format/Wavelet.h"

using namespace Lumetra;

namespace {

// Whole-sample symmetric index into a line of n samples.
int mirror(int p, int n) {
    if (n == 1) return 0;
    const int period = 2 * (n - 1);
    p %= period;
    if (p < 0) p += period;
    return p >= n ? period - p : p;
}

// Full-line synthesis by the textbook steps over the interleaved signal.
std::vector<float> fullSynthesis(const std::vector<float>& s, const std::vector<float>& d) {
    const int n = int(s.size() + d.size());
    std::vector<float> x(n);
    for (int i = 0; i < int(s.size()); ++i) x[2 * i] = s[i];
    for (int i = 0; i < int(d.size()); ++i) x[2 * i + 1] = d[i];
    auto at = [&](int p) { return x[mirror(p, n)]; };
    for (int p = 0; p < n; p += 2) x[p] = x[p] - Cdf97Synthesis::delta * (at(p - 1) + at(p + 1));
    for (int p = 1; p < n; p += 2) x[p] = x[p] - Cdf97Synthesis::gamma * (at(p - 1) + at(p + 1));
    for (int p = 0; p < n; p += 2) x[p] = x[p] + Cdf97Synthesis::beta * (at(p - 1) + at(p + 1));
    for (int p = 1; p < n; p += 2) x[p] = x[p] + Cdf97Synthesis::alpha * (at(p - 1) + at(p + 1));
    return x;
}

// Forward transform from the analysis formulas, in double precision, with
// the gains left out (the decoder folds them into the subband weights).
void analysis(const std::vector<double>& x, std::vector<float>& s, std::vector<float>& d) {
    const int n = int(x.size());
    const double a = 1.586134342, b = 0.05298011854, g = 0.8829110762, dl = 0.4435068522;
    std::vector<double> y(x);
    auto at = [&](int p) { return y[mirror(p, n)]; };
    for (int p = 1; p < n; p += 2) y[p] -= a * (at(p - 1) + at(p + 1));
    for (int p = 0; p < n; p += 2) y[p] -= b * (at(p - 1) + at(p + 1));
    for (int p = 1; p < n; p += 2) y[p] += g * (at(p - 1) + at(p + 1));
    for (int p = 0; p < n; p += 2) y[p] += dl * (at(p - 1) + at(p + 1));
    s.clear();
    d.clear();
    for (int p = 0; p < n; ++p) (p % 2 ? d : s).push_back(float(y[p]));
}

long long floorHalf(long long v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); }

// The child range the tree builder gives for output window [a, b].
void childRange(int a, int b, bool high, int full, int& lo, int& hi) {
    long long l = -floorHalf(-(a - (high ? 5 : 3)));
    long long h = floorHalf(b + 3);
    if (h < l + 4) h = l + 4;
    if (l < 0) l = 0;
    if (h >= full) h = full - 1;
    lo = int(l);
    hi = int(h);
}

}  // namespace

TEST(WaveletSynthesis, windowedLineEqualsFullLineForEveryLengthAndWindow) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-100.0f, 100.0f);
    FloatBuffer scratch;
    for (int n = 5; n <= 64; ++n) {
        const int nl = (n + 1) / 2, nh = n / 2;
        std::vector<float> s(nl), d(nh);
        for (auto& v : s) v = u(rng);
        for (auto& v : d) v = u(rng);
        const std::vector<float> full = fullSynthesis(s, d);
        for (int a = 0; a < n; ++a) {
            for (int b = a; b < n; ++b) {
                int l0, l1, h0, h1;
                childRange(a, b, false, nl, l0, l1);
                childRange(a, b, true, nh, h0, h1);
                // Only the child supports are handed over, as in the tree.
                std::vector<float> lowPart(s.begin() + l0, s.begin() + l1 + 1);
                std::vector<float> highPart(d.begin() + h0, d.begin() + h1 + 1);
                SynthesisInput low{lowPart.data(), 1, l0, l1 - l0 + 1, nl};
                SynthesisInput high{highPart.data(), 1, h0, h1 - h0 + 1, nh};
                std::vector<float> out(b - a + 1, -1e30f);
                synthesizeLines(a, b, low, high, out.data(), 1, 1, scratch);
                for (int k = a; k <= b; ++k)
                    ASSERT_EQ(out[k - a], full[k]) << "n " << n << " [" << a << "," << b << "]";
            }
        }
    }
}

TEST(WaveletSynthesis, parallelLanesMatchSingleLines) {
    const int n = 23, lanes = 5;
    const int nl = 12, nh = 11;
    std::vector<float> s(nl * lanes), d(nh * lanes);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = float((i * 37) % 101) - 50.0f;
    for (std::size_t i = 0; i < d.size(); ++i) d[i] = float((i * 53) % 67) - 30.0f;
    FloatBuffer scratch;
    std::vector<float> out(n * lanes);
    synthesizeLines(0, n - 1, {s.data(), lanes, 0, nl, nl}, {d.data(), lanes, 0, nh, nh}, out.data(), lanes,
                    lanes, scratch);
    for (int c = 0; c < lanes; ++c) {
        std::vector<float> one(n);
        synthesizeLines(0, n - 1, {s.data() + c, lanes, 0, nl, nl}, {d.data() + c, lanes, 0, nh, nh},
                        one.data(), 1, 1, scratch);
        for (int k = 0; k < n; ++k) ASSERT_EQ(out[k * lanes + c], one[k]);
    }
}

TEST(WaveletSynthesis, synthesisInvertsTheAnalysis) {
    for (int n : {5, 6, 7, 8, 13, 32, 63}) {
        std::vector<double> x(n);
        for (int i = 0; i < n; ++i) x[i] = 100.0 * std::sin(0.7 * i) + 3.0 * i;
        std::vector<float> s, d;
        analysis(x, s, d);
        std::vector<float> out(n);
        FloatBuffer scratch;
        synthesizeLines(0, n - 1, {s.data(), 1, 0, int(s.size()), int(s.size())},
                        {d.data(), 1, 0, int(d.size()), int(d.size())}, out.data(), 1, 1, scratch);
        for (int i = 0; i < n; ++i) EXPECT_NEAR(out[i], x[i], 1e-3) << "n " << n << " i " << i;
    }
}

TEST(WaveletSynthesis, shortLinesStayInsideTheirInputs) {
    FloatBuffer scratch;
    for (int n = 1; n < 5; ++n) {
        const int nl = (n + 1) / 2, nh = n / 2;
        std::vector<float> s(nl, 10.0f), d(nh, 0.0f);
        std::vector<float> out(n);
        synthesizeLines(0, n - 1, {s.data(), 1, 0, nl, nl}, {nh ? d.data() : nullptr, 1, 0, nh, nh},
                        out.data(), 1, 1, scratch);
        for (float v : out) EXPECT_TRUE(std::isfinite(v));
    }
}
