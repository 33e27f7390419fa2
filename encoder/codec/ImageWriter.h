#pragma once
// The image file writer: assembles the output file from the subband map of
// an encoding. Header and subband offset table, then per subband its dither
// offsets and block table, and per block and band the band as the subband
// file holds it (block header and records, coded once by the quantiser)
// with its record offsets made absolute; finally the metadata block. Every
// forward reference (subband offsets, block tables, the metadata offset) is
// patched once its target is written.

#include <cstdint>
#include <vector>

#include "core/FileSpecification.h"
#include "encoder/codec/EncoderCallbacks.h"
#include "encoder/codec/SubbandMap.h"

class Image;

// The encoder's settings that go into the file's metadata.
struct EncoderTags {
    int nlev = 4;
    float rate = 0.6f;
    float weight = 4.0f;
    float gamma = 2.0f;
    float kweight = 0.25f;
    int blockSize = 512;
    bool dither = true;
};

// Offsets in the file are unsigned 32-bit: nothing may start beyond this.
constexpr int64_t kLargestFileOffset = 0xFFFFFFFFLL;
// What the writer throws when the output would pass that limit.
extern const char* const kOutputTooLargeMessage;

struct WriterSettings {
    int levels = 0;  // L: the map has 3L + 1 entries
    float progressStart = 0.94f;
    float progressEnd = 0.99f;
    EncoderProgress progress;
    EncoderInterrupt interrupt;
    EncoderTags tags;
    // Where the file's offsets end; tests lower it to reach the limit
    // without writing gigabytes.
    int64_t largestOffset = kLargestFileOffset;
};

// Writes the output file (an unset name writes to standard output through a
// temporary file). Closes and deletes each subband file once it is copied
// and releases its block records. Throws Error with the failing step's
// message (WriteError when the output cannot be opened or finished); the
// partly written output is removed.
void write_image(const Image& image, SubbandMap& map, const Lumetra::FileSpecification& output,
                 const WriterSettings& settings);
