#pragma once
// Test helpers: a private scratch directory for raw images and their
// headers, and catching a thrown message.

#include <cstdint>
#include <string>
#include <vector>

#include "core/Error.h"
#include "support/ScratchDir.h"

class RawImageScratch {
public:
    RawImageScratch();
    ~RawImageScratch();
    RawImageScratch(const RawImageScratch&) = delete;
    RawImageScratch& operator=(const RawImageScratch&) = delete;

    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    // Writes the file and answers its path.
    std::string write(const std::string& name, const std::vector<unsigned char>& bytes) const;
    std::string writeText(const std::string& name, const std::string& text) const;
    std::string readText(const std::string& name) const;

    // NAME.raw with NAME.hdr beside it; answers the raw file's path.
    std::string rawImage(const std::string& name, const std::string& header,
                         const std::vector<unsigned char>& samples) const;
    // A raw float file: native width, height, band count, then the floats.
    std::string rfiImage(const std::string& name, int32_t width, int32_t height, int32_t bands,
                         const std::vector<float>& samples) const;

private:
    testsupport::ScratchDir scratch_;
    std::string dir_;
};

// The message of the exception of type E that f throws, or "<none>".
template <typename E, typename F>
std::string thrownMessage(F f) {
    try {
        f();
    } catch (const E& e) {
        return e.message();
    }
    return "<none>";
}
