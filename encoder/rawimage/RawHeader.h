#pragma once
// The text header of a band-interleaved raw image ("hdr"): keyword lines,
// their defaults and checks.

#include <cstdint>

#include "core/FileSpecification.h"

// Layout codes of a raw header.
enum RawLayout { kLayoutUnknown = -1, kLayoutBIL = 0, kLayoutBSQ = 1, kLayoutBIP = 2 };

struct RawHeader {
    int32_t nbands = -1;  // -1: missing
    int32_t ncols = -1;
    int32_t nrows = -1;
    int32_t nbits = 8;
    int32_t skipbytes = 0;
    int32_t totalrowbytes = 0;  // default nbands x ncols
    int32_t bandrowbytes = 0;   // default ncols
    int32_t bandgapbytes = 0;
    int32_t layout = kLayoutUnknown;
    int32_t dynamicRangeWindow = -1;  // -1: none
    int32_t dynamicRangeLevel = 127;
    int32_t dataType = 0;  // 0: 8-bit samples
    double ulxmap = 0.0;
    double ulymap = 0.0;
    double xdim = 1.0;
    double ydim = 1.0;
};

// Reads the header file. Throws OpenError or ReadError (header name) for
// file faults and Error for refused or missing values, including row, column
// and skip counts no raw file could hold.
RawHeader readRawHeader(const Lumetra::FileSpecification& headerFile);

// Bytes the raw file must have: skipbytes + sample size x rows x bands x
// columns, computed in 64 bits.
int64_t expectedRawFileSize(const RawHeader& header);
