#pragma once
// One-dimensional CDF 9/7 analysis by lifting, in single precision with the
// analysis constants of format/Wavelet.h.
//
// A line is given as the samples at absolute positions start .. start+count-1
// of a whole line of fullLength samples; every other position is zero, and
// the whole line is extended symmetrically about its first and last sample
// (x[-k] = x[k], x[N-1+k] = x[N-1-k]). So a block that analyses only its own
// samples gets its exact share of the whole-line coefficients, which the
// overlap-add of neighbouring blocks sums up.
//
// Outputs: low coefficients (even positions 2i) for i = lowStart ..
// lowStart+lowCount-1 scaled by K, high coefficients (odd positions 2i+1)
// for i = highStart .. highStart+highCount-1 scaled by 1/K.

#include <vector>

// Where the outputs of one analysis go and which coefficients are wanted.
struct LiftingOutputs {
    float* low = nullptr;
    int lowStart = 0, lowCount = 0;
    float* high = nullptr;
    int highStart = 0, highCount = 0;
};

// Analyses one line. A line that starts at the image's start edge needs at
// least 5 samples ("Error 2 in subroutine conv_ds.\n"), one that ends at its
// end edge at least 6 ("Error 1 in subroutine conv_ds.\n"); the message goes
// to standard error and the result is non-zero. `scratch` is reused storage.
int conv_ds(const float* line, int start, int count, int fullLength, const LiftingOutputs& out,
            std::vector<float>& scratch);

// The same analysis applied to `lanes` parallel lines at once: the input
// holds count rows of `lanes` samples (row r = position start + r), and the
// outputs are rows of `lanes` samples. Used for the columns of a plane.
int conv_ds_lanes(const float* rows, int lanes, int start, int count, int fullLength,
                  const LiftingOutputs& out, std::vector<float>& scratch);
