#pragma once
// The two hooks an encoding accepts; both run on the encoding thread.

#include <functional>

// Receives the fraction done, from 0 to 0.99.
using EncoderProgress = std::function<void(float)>;
// Polled often; a non-zero answer stops the encoding.
using EncoderInterrupt = std::function<int()>;
