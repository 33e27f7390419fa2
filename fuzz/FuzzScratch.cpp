#include "FuzzScratch.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fuzz {

namespace {

std::string& folder() {
    static std::string path;
    return path;
}

void removeFolder() {
    std::error_code ignored;
    if (!folder().empty()) std::filesystem::remove_all(folder(), ignored);
}

}  // namespace

const std::string& scratchFolder() {
    if (folder().empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/wavra_fuzz_XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        folder() = pattern;
        std::atexit(removeFolder);
    }
    return folder();
}

std::string scratchPath(const std::string& name) { return scratchFolder() + "/" + name; }

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || (size && std::fwrite(data, 1, size, out) != size) || std::fclose(out) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

}  // namespace fuzz
