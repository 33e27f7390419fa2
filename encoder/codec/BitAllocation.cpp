#include "encoder/codec/BitAllocation.h"

#include <algorithm>
#include <cmath>

#include "encoder/codec/SynthesisGains.h"

int subband_depth(int subband, int levels) {
    if (subband <= 0) return levels;
    return levels - (subband - 1) / 3;
}

bool initially_active(int subband, int band, int levels, int bands) {
    const int subbands = 3 * levels + 1;
    if (bands == 3 && subbands > 6 && (band == 1 || band == 2)) {
        // The six finest subbands are the last six of the map.
        if (subband >= subbands - 6) return false;
    }
    return true;
}

namespace {

float band_weight(const AllocationParameters& p, int band) {
    if (p.bands <= 1) return 1.0f;
    switch (band) {
        case 0:
            return p.weight;
        case 3:
            return p.kweight;
        default:
            return 1.0f;
    }
}

struct Entry {
    float share = 0.0f;   // 1 / N_j
    float weight = 1.0f;  // w_j
    double variance = 0.0;
    float sigma = 0.0f;
    bool active = false;
    int subband = 0;
};

// Runs the iteration and leaves the steps in `steps` (one per entry).
void allocate(const AllocationParameters& p, const std::vector<double>& variances, AllocationMode mode,
              std::vector<float>& steps) {
    const int subbands = 3 * p.levels + 1;
    const size_t count = size_t(subbands) * size_t(p.bands);
    std::vector<Entry> entries(count);
    for (int s = 0; s < subbands; ++s) {
        const int depth = subband_depth(s, p.levels);
        const float n = float(p.bands) * std::pow(4.0f, float(depth));
        const float depthWeight = std::pow(p.gamma, float(depth));
        for (int k = 0; k < p.bands; ++k) {
            Entry& e = entries[size_t(s) * size_t(p.bands) + size_t(k)];
            const size_t j = size_t(s) * size_t(p.bands) + size_t(k);
            e.share = 1.0f / n;
            e.weight = depthWeight * band_weight(p, k);
            e.variance = j < variances.size() ? variances[j] : 0.0;
            e.sigma = float(std::sqrt(e.variance > 0.0 ? e.variance : 0.0));
            e.subband = s;
            // An entry without coefficients has nothing to code and would
            // zero the geometric mean; it takes no part in the averages.
            e.active = initially_active(s, k, p.levels, p.bands) && e.variance > 0.0;
        }
    }
    steps.assign(count, 0.0f);
    for (;;) {
        float f = 0.0f;
        double product = 1.0;
        for (const Entry& e : entries) {
            if (!e.active) continue;
            f += e.share;
            product *= std::pow(double(e.weight) * double(e.weight) * e.variance, double(e.share));
        }
        if (!(f > 0.0f)) return;  // nothing left to average: keep the last steps
        const float G = float(std::pow(std::sqrt(product), 1.0 / double(f)));
        const float g = G * (5.0f * std::pow(2.0f, -p.rate / f));
        bool dropped = false;
        for (size_t j = 0; j < count; ++j) {
            Entry& e = entries[j];
            if (p.thumbnailPass) {
                steps[j] = g / e.weight;
                if (e.active && 5.0f * e.sigma < steps[j]) {
                    e.active = false;
                    dropped = true;
                }
            } else {
                steps[j] = e.active ? g / e.weight : 0.0f;
                if (e.active && steps[j] > 5.0f * e.sigma && e.subband != 0 &&
                    mode == AllocationMode::Output) {
                    e.active = false;
                    dropped = true;
                }
            }
        }
        if (!dropped) return;
    }
}

}  // namespace

std::vector<float> bit_allocation_steps(const AllocationParameters& p, const std::vector<double>& variances,
                                        int subband) {
    std::vector<float> steps;
    allocate(p, variances, AllocationMode::Output, steps);
    std::vector<float> result(size_t(p.bands), 0.0f);
    if (subband < 0 || subband > 3 * p.levels) return result;
    for (int k = 0; k < p.bands; ++k)
        result[size_t(k)] = steps[size_t(subband) * size_t(p.bands) + size_t(k)];
    return result;
}

float bit_allocation_estimate(const AllocationParameters& p, const std::vector<double>& variances) {
    std::vector<float> steps;
    allocate(p, variances, AllocationMode::Estimate, steps);
    if (p.bands <= 0) return 0.0f;
    float sum = 0.0f;
    for (int k = 0; k < p.bands; ++k) {
        const float step = steps[size_t(k)];
        const float sigma = float(std::sqrt(
            variances.size() > size_t(k) && variances[size_t(k)] > 0.0 ? variances[size_t(k)] : 0.0));
        if (step != 0.0f && sigma > 0.0f) sum += std::log2(5.0f * sigma / step);
    }
    return sum / float(p.bands);
}

std::vector<float> equal_distortion_steps(int levels, int bands, float scale) {
    const int subbands = 3 * levels + 1;
    std::vector<float> steps(size_t(subbands) * size_t(std::max(bands, 0)));
    for (int s = 0; s < subbands; ++s) {
        const double gain = subband_output_gains(s, levels).energy;
        for (int k = 0; k < bands; ++k)
            steps[size_t(s) * size_t(bands) + size_t(k)] =
                float(double(scale) / std::sqrt(gain * band_output_gains(k, bands).energy));
    }
    return steps;
}
