#pragma once
// The extraction run: decodes the requested region into a temporary raw
// image and re-encodes it as the output file.

#include "tool/CommandLine.h"
#include "tool/TemporaryRunFiles.h"

// Runs one extraction on the parsed values. The temporary name comes from
// temporaries.reserve(), so that the caller can delete the raw file and its
// header whatever happens; on success the run deletes them itself. Throws on
// any failure.
void runExtraction(const CommandLineValues& values, TemporaryRunFiles& temporaries);
