// How well a multi-threaded decode uses the cores, measured inside one
// process so that start-up and output cost nothing.
//
//   bench_thread_scaling FILE.wvr [RUNS]
//
// Decodes the centre 4096 x 4096 window of FILE (or the whole image when
// smaller) again and again through the public API, into a sink that only
// counts the rows, in five ways taken by turns:
//   - the window on one thread, and on two (the decoder's own slices);
//   - its left and right halves one after the other, one thread each;
//   - the two halves at once on two threads, each through a Reader of its
//     own: what two independent decodes reach on this machine;
//   - the left half alone.
// Prints the median of each in ms. The two-thread window against the two
// halves at once shows what the decoder loses to its own threading.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tool/MemoryReuse.h"
#include "wavra/error.h"
#include "wavra/wavra.h"

namespace {

double nowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void decode(const std::string& path, const wavra::Region& region, int threads) {
    wavra::Reader reader = wavra::Reader::open(path);
    reader.setThreads(threads);
    size_t rows = 0;
    reader.readRegion(region, [&](const uint8_t*, int count, size_t) { rows += size_t(count); });
    if (rows == 0) std::fprintf(stderr, "no rows decoded\n");
}

wavra::Region window(int32_t centreX, int32_t centreY, int32_t width, int32_t height) {
    wavra::Region r;
    r.centreX = centreX;
    r.centreY = centreY;
    r.width = width;
    r.height = height;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_thread_scaling FILE.wvr [RUNS]\n");
        return 2;
    }
    keepFreedMemoryForReuse();  // as the programs run
    const std::string path = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    try {
        const wavra::ImageInfo info = wavra::Reader::open(path).info();
        const int32_t w = std::min(info.width, 4096) & ~1, h = std::min(info.height, 4096);
        const int32_t cx = info.width / 2, cy = info.height / 2;
        const wavra::Region whole = window(cx, cy, w, h);
        const wavra::Region left = window(cx - w / 4, cy, w / 2, h), right = window(cx + w / 4, cy, w / 2, h);

        const char* const names[] = {"window, 1 thread", "window, 2 threads", "halves in turn",
                                     "halves at once on 2 threads", "left half alone"};
        std::vector<double> times[5];
        for (int run = 0; run < runs; ++run) {
            double t = nowMs();
            const auto lap = [&](int k) {
                const double now = nowMs();
                times[k].push_back(now - t);
                t = now;
            };
            decode(path, whole, 1);
            lap(0);
            decode(path, whole, 2);
            lap(1);
            decode(path, left, 1);
            decode(path, right, 1);
            lap(2);
            std::thread other([&] { decode(path, left, 1); });
            decode(path, right, 1);
            other.join();
            lap(3);
            decode(path, left, 1);
            lap(4);
        }
        std::printf("%d x %d window of %s, medians of %d runs:\n", w, h, path.c_str(), runs);
        for (int k = 0; k < 5; ++k) {
            std::sort(times[k].begin(), times[k].end());
            std::printf("  %-28s %7.1f ms\n", names[k], times[k][times[k].size() / 2]);
        }
    } catch (const wavra::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
