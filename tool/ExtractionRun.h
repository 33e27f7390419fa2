#pragma once
// The extraction run: decodes the requested region into a temporary raw
// image and re-encodes it as the output file.

#include <string>

#include "tool/CommandLine.h"
#include "tool/TemporaryRunFiles.h"
#include "wavra/wavra.h"

// Runs one extraction on the parsed values. The temporary name comes from
// temporaries.reserve(), so that the caller can delete the raw file and its
// header whatever happens; on success the run deletes them itself. A scale
// above the input's level count is refused before any temporary file is
// made. The output is written beside its final name and moved there only
// once complete, so a failed run leaves an existing output untouched. No
// world file is written or deleted beside the output. Decoding and encoding
// ask interruptRequested() through their progress and stop by throwing, as
// does the run just before the output is committed. Throws on any failure.
void runExtraction(const CommandLineValues& values, TemporaryRunFiles& temporaries);
// The same on an input already open (values.input is not read); several
// threads may run extractions on one Reader at once.
void runExtraction(const wavra::Reader& input, const CommandLineValues& values,
                   TemporaryRunFiles& temporaries);
