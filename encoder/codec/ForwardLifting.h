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

#include <cstddef>
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

// Analyses `rows` lines of one length: line r is read at in + r * inStride,
// and its outputs go to out.low + r * lowStride and out.high + r * highStride.
// The results are those of conv_ds line by line (four lines at a time run
// side by side, the same operations on each).
int conv_ds_rows(const float* in, size_t inStride, int rows, int start, int count, int fullLength,
                 const LiftingOutputs& out, size_t lowStride, size_t highStride, std::vector<float>& scratch);

// Positions first .. last that conv_ds_lanes_in_place needs in its buffer:
// the given samples and every position the wanted outputs depend on.
struct LaneSpan {
    int first = 0, last = -1;
};
LaneSpan laneSpan(int start, int count, const LiftingOutputs& out);

// conv_ds_lanes on a buffer of rows span.first .. span.last (`lanes` floats
// each) whose rows start .. start+count-1 already hold the samples; the
// other rows are working space. The results are those of conv_ds_lanes.
int conv_ds_lanes_in_place(float* buf, int lanes, LaneSpan span, int start, int count, int fullLength,
                           const LiftingOutputs& out);
