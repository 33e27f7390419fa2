#pragma once
// How far a change of one coefficient carries into the decoded samples.
//
// Per subband, from the 9/7 synthesis basis functions of its depth and
// orientation (two-dimensional, the product of the gains along x and y):
//   peak   the largest sum, over the coefficients of the subband that reach
//          one sample, of |basis value| there: an error of at most e in every
//          coefficient of the subband moves no sample by more than e x peak;
//   energy the sum of squares of one basis function: an error of variance v
//          in the coefficients adds about v x energy to the mean squared
//          error of the samples.
// Per band, the same two gains of the inverse colour transform (YIQ to RGB
// for three bands, its YIQK counterpart for four): peak the largest
// |coefficient| of the band's column, energy the mean over the output
// channels of their squares.

struct OutputGains {
    double peak = 1.0;
    double energy = 1.0;
};

// Subband s of an L-level decomposition (0 the final low-pass band, then
// HL, LH, HH from depth L down to 1).
OutputGains subband_output_gains(int subband, int levels);

// Band k of an image coded with `bands` bands.
OutputGains band_output_gains(int band, int bands);
