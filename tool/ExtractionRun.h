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
void runExtraction(const wavra::Reader& input, const CommandLineValues& values, TemporaryRunFiles& temporaries);

// An output file written under a reserved name in its own directory and
// renamed over the final name only after the writer closed it successfully.
// Outputs that are not regular files (devices, pipes) and outputs in a
// directory where no name can be reserved are written in place.
class StagedOutput {
public:
    explicit StagedOutput(const std::string& output);
    // Removes the staged file unless it was committed.
    ~StagedOutput();
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // The name the writer writes to (the output itself when written in place).
    const std::string& writeName() const { return writeName_; }
    bool isStaged() const { return writeName_ != output_; }
    // Flushes the staged file to disk, keeps the permissions of a file already
    // under the output name and renames it there. Throws the library's
    // write error naming the output; the staged file is removed then.
    void commit();
    // A message about the staged file told with the output's name instead.
    std::string tellAsOutput(const char* message) const;

private:
    std::string output_;       // as given
    std::string destination_;  // the file renamed over (a link's target)
    std::string writeName_;
    wavra::TemporaryName reservation_;  // keeps the staged name ours
    bool committed_ = false;
};
