#pragma once
// JPEG files written for the watermark tests with the library's compressor,
// in a scratch folder of the test's own.

#include "support/ScratchDir.h"
#include <functional>
#include <string>
#include <vector>

namespace wmtest {

// A folder made for one test and removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    testsupport::ScratchDir scratch_;
    std::string path_;
};

// Sample value of component c at (x, y).
using SampleAt = std::function<unsigned char(int x, int y, int c)>;

// Writes a baseline JPEG with `components` of 1 (grey), 3 (RGB) or 4 (CMYK).
void writeJpeg(const std::string& path, int width, int height, int components, const SampleAt& sample,
               int quality = 100, bool progressive = false);

// The whole file as bytes / a file made of the given bytes.
std::vector<unsigned char> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes);

}  // namespace wmtest
