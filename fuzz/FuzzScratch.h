#pragma once
// A scratch folder for one fuzzing process: the readers take file names, so
// each input is written to a file before it is read. The folder and its
// files are removed when the process exits normally.

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// The process's scratch folder (made on first use under TMPDIR or /tmp).
const std::string& scratchFolder();
// Path of `name` inside the scratch folder.
std::string scratchPath(const std::string& name);
// Writes the bytes to the file, replacing it; aborts when it cannot.
void writeFile(const std::string& path, const uint8_t* data, size_t size);

}  // namespace fuzz
