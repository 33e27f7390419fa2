#pragma once
// An output file written under a reserved name in its own directory and
// renamed over the final name only after the writer closed it successfully,
// so that a run that fails or is stopped leaves an earlier output as it was.
// Outputs that are not regular files (devices, pipes), existing files we may
// not write and outputs in a directory where no name can be reserved are
// written in place; nothing written in place is ever removed.

#include <string>
#include <vector>

#include "wavra/wavra.h"

class StagedOutput {
public:
    explicit StagedOutput(const std::string& output);
    // Removes the staged file and its companions unless committed.
    ~StagedOutput();
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // The name the writer writes to (the output itself when written in place).
    const std::string& writeName() const { return writeName_; }
    bool isStaged() const { return writeName_ != output_; }

    // A file that goes with the output under its name with another extension
    // (a raw image's ".hdr", a world file): returns the name it has beside
    // the write name, where the writer makes it. Commit moves it beside the
    // output when it was made.
    std::string companion(const std::string& extension);

    // Flushes the staged file to disk, keeps the permissions of a file already
    // under the output name and renames it there, then moves the companions
    // that were made. Throws the library's write error naming the output (or
    // the companion); the staged files are removed then.
    void commit();
    // A message about the staged files told with the output's names instead.
    std::string tellAsOutput(const char* message) const;

private:
    std::string output_;       // as given
    std::string destination_;  // the file renamed over (a link's target)
    std::string writeName_;
    std::vector<std::string> companions_;  // their extensions
    wavra::TemporaryName reservation_;     // keeps the staged name ours
    bool committed_ = false;
};
