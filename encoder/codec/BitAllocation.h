#pragma once
// Bit allocation: chooses a quantiser step for every (subband, band) entry so
// that the coded image spends the target rate on average, weighting each
// entry by its depth and band.

#include <vector>

enum class AllocationMode { Output, Estimate };

struct AllocationParameters {
    int levels = 4;         // L of the pass
    int bands = 1;          // coded band count
    float rate = 0.6f;      // bits per sample
    float weight = 4.0f;    // band 0 of a multi-band image
    float gamma = 2.0f;     // per-depth weight factor
    float kweight = 0.25f;  // band 3 (K) of a four-band image
    bool thumbnailPass = false;
};

// Depth of subband s in an L-level decomposition (1 = finest; band 0 and the
// coarsest details have depth L).
int subband_depth(int subband, int levels);

// Whether entry (s, k) is coded at all before any step is chosen: everything
// except bands 1 and 2 of the six finest subbands of a three-band image with
// more than six subbands.
bool initially_active(int subband, int band, int levels, int bands);

// Output mode: the steps of subband `subband` for each band (0 = not coded).
// `variances` holds (3L + 1) x bands values at s * bands + k.
std::vector<float> bit_allocation_steps(const AllocationParameters& p, const std::vector<double>& variances,
                                        int subband);

// Estimate mode: the mean over the bands of log2(5 sigma / step) of subband
// 0 (a band with step 0 contributes 0).
float bit_allocation_estimate(const AllocationParameters& p, const std::vector<double>& variances);

// Best-quality mode: one distortion level for the whole image. Every entry
// (s, k) gets step scale / sqrt(energy gain of subband s x energy gain of
// band k) (SynthesisGains), so an index step costs the decoded samples the
// same squared error wherever it is: the steps that minimise the error of
// the samples for a given rate. (3L + 1) x bands values at s * bands + k.
std::vector<float> equal_distortion_steps(int levels, int bands, float scale);
