#include "RawImageScratch.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

RawImageScratch::RawImageScratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/rawimage-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("cannot create scratch directory");
    dir_ = buf.data();
}

RawImageScratch::~RawImageScratch() {
    if (DIR* d = opendir(dir_.c_str())) {
        while (dirent* e = readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                std::remove(path(e->d_name).c_str());
        }
        closedir(d);
    }
    rmdir(dir_.c_str());
}

std::string RawImageScratch::write(const std::string& name, const std::vector<unsigned char>& bytes) const {
    const std::string p = path(name);
    FILE* f = std::fopen(p.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + p);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return p;
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
