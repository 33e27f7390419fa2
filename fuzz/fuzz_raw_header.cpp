// A raw image from arbitrary bytes: the input up to its first NUL byte is
// the text header ("hdr"), the rest is the raw file. The image is built as a
// BBBImage, described, and one block of it (at most 64 x 64, from the
// corner the input's last byte picks) is extracted and converted.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

#include "FuzzScratch.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "encoder/rawimage/BBBImage.h"
#include "encoder/rawimage/PixelData.h"

namespace {

// The description goes to standard output; keep it out of the fuzzer's log.
class QuietStdout {
public:
    QuietStdout() {
        std::fflush(stdout);
        saved_ = dup(1);
        FILE* null = std::fopen("/dev/null", "w");
        if (null) {
            dup2(fileno(null), 1);
            std::fclose(null);
        }
    }
    ~QuietStdout() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            dup2(saved_, 1);
            close(saved_);
        }
    }

private:
    int saved_ = -1;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string raw = fuzz::scratchPath("image.raw");
    static const std::string header = fuzz::scratchPath("image.hdr");
    const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t headerBytes = split ? static_cast<size_t>(split - data) : size;
    fuzz::writeFile(header, data, headerBytes);
    const size_t rawStart = split ? headerBytes + 1 : size;
    fuzz::writeFile(raw, data + rawStart, size - rawStart);
    const int corner = size ? data[size - 1] : 0;

    try {
        BBBImage image{Lumetra::FileSpecification(raw)};
        {
            QuietStdout quiet;
            image.info();
        }
        int support[2][2];
        image.support(support);
        // A block of at most 64 x 64 starting at the support's corner, or
        // reaching over its edge when the corner byte says so.
        const int x0 = (corner & 1) ? support[0][0] - 8 : support[0][0];
        const int y0 = (corner & 2) ? support[1][0] - 8 : support[1][0];
        const int64_t x1 = std::min<int64_t>(int64_t(x0) + 63, int64_t(support[0][1]) + ((corner & 4) ? 8 : 0));
        const int64_t y1 = std::min<int64_t>(int64_t(y0) + 63, int64_t(support[1][1]) + ((corner & 8) ? 8 : 0));
        if (x1 >= x0 && y1 >= y0) {
            int rect[2][2] = {{x0, static_cast<int>(x1)}, {y0, static_cast<int>(y1)}};
            std::unique_ptr<PixelData> block = image.extract(rect);
            if (block) {
                if (image.codedBands() == 3) block->yiq();
                else block->convert2float();
            }
        }
    } catch (const Error&) {
    } catch (const Lumetra::Exception&) {
    }
    return 0;
}
