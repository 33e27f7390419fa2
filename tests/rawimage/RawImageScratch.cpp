#include "RawImageScratch.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

RawImageScratch::RawImageScratch() : scratch_("rawimage-test"), dir_(scratch_.path()) {}

RawImageScratch::~RawImageScratch() = default;

std::string RawImageScratch::write(const std::string& name, const std::vector<unsigned char>& bytes) const {
    return scratch_.write(name, bytes);
}

std::string RawImageScratch::writeText(const std::string& name, const std::string& text) const {
    return write(name, std::vector<unsigned char>(text.begin(), text.end()));
}

std::string RawImageScratch::readText(const std::string& name) const {
    std::string text;
    if (FILE* f = std::fopen(path(name).c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

std::string RawImageScratch::rawImage(const std::string& name, const std::string& header,
                                      const std::vector<unsigned char>& samples) const {
    writeText(name + ".hdr", header);
    return write(name + ".raw", samples);
}

std::string RawImageScratch::rfiImage(const std::string& name, int32_t width, int32_t height, int32_t bands,
                                      const std::vector<float>& samples) const {
    std::vector<unsigned char> bytes(12 + samples.size() * 4);
    const int32_t head[3] = {width, height, bands};
    std::memcpy(bytes.data(), head, 12);
    if (!samples.empty()) std::memcpy(bytes.data() + 12, samples.data(), samples.size() * 4);
    return write(name, bytes);
}
