// Whole-encoder benchmark: throughput and peak resident memory of
// ImageEncoder::encode on pictures generated on the fly (never held whole in
// memory), with the achieved bits per sample against the requested rate.
//
//   bench_encode [-threads N] [-bands B] [-levels L] [-runs R] [size ...]
//
// Sizes default to 4096 8192; bands (1 and 3) and levels (4 and 7) default
// to both; threads to 1. With R runs (default 1) the times are the medians.
// "caller s" is the CPU time of the thread that called the encoder: with
// free cores the wall time cannot fall below it. Each run goes in a child process so that its peak resident
// memory is its own.

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/TemporaryName.h"
#include "encoder/codec/ImageEncoder.h"
#include "encoder/rawimage/Image.h"

namespace {

// An 8-bit picture computed pixel by pixel when a block is extracted:
// smooth shading, edges and some texture, like an aerial photograph.
class GeneratedImage : public Image {
public:
    GeneratedImage(int width, int height, int bands) : width_(width), height_(height), bands_(bands) {}

    int bands() const override { return bands_; }
    int codedBands() const override { return bands_; }
    int width() const override { return width_; }
    int height() const override { return height_; }
    int dataType() const override { return kImageUInt8; }
    int colorScheme() const override { return bands_ == 1 ? kSchemeGrayscale : kSchemeRGB; }
    void support(int s[2][2]) const override {
        s[0][0] = 0;
        s[0][1] = width_ - 1;
        s[1][0] = 0;
        s[1][1] = height_ - 1;
    }
    void info() const override {}
    void extract(const int r[2][2], unsigned char* pixels) const override {
        const int w = r[0][1] - r[0][0] + 1, h = r[1][1] - r[1][0] + 1;
        // Per-column and per-row factors, so a sample costs a few
        // multiplications rather than trigonometry.
        std::vector<double> slow(static_cast<size_t>(w)), fastSin(static_cast<size_t>(w)),
            fastCos(static_cast<size_t>(w));
        for (int b = 0; b < bands_; ++b) {
            for (int x = 0; x < w; ++x) {
                const int gx = r[0][0] + x;
                slow[size_t(x)] = 40.0 * std::sin(gx * 0.003 + b);
                fastSin[size_t(x)] = 12.0 * std::sin(gx * 0.21);
                fastCos[size_t(x)] = 12.0 * std::cos(gx * 0.21);
            }
            for (int y = 0; y < h; ++y) {
                const int gy = r[1][0] + y;
                const double rowSlow = std::cos(gy * 0.002), rowCos = std::cos(gy * 0.17),
                             rowSin = std::sin(gy * 0.17);
                unsigned char* out = pixels + (size_t(b) * h + y) * w;
                for (int x = 0; x < w; ++x) {
                    const int gx = r[0][0] + x;
                    uint32_t hash = uint32_t(gx) * 73856093u ^ uint32_t(gy) * 19349663u;
                    hash ^= hash >> 13;
                    hash *= 0x5bd1e995u;
                    const double field = ((gx / 97 + gy / 131) % 3) * 30.0;  // fields with sharp borders
                    const double v = 90.0 + field + slow[size_t(x)] * rowSlow + fastSin[size_t(x)] * rowCos +
                                     fastCos[size_t(x)] * rowSin + double(hash >> 28) - 7.5;
                    out[x] = (unsigned char)(v < 0 ? 0 : v > 255 ? 255 : v);
                }
            }
        }
    }
    double fileSize() const override { return double(width_) * height_ * bands_; }
    bool hasGeoreference() const override { return false; }
    const unsigned char* noDataValue() const override { return noData_; }
    const unsigned char* transparentValue() const override { return nullptr; }
    void checkCompatibility(const Image&) const override {}

private:
    int width_, height_, bands_;
    unsigned char noData_[3] = {0, 0, 0};
};

// CPU seconds of the calling thread so far.
double threadSeconds() {
    struct rusage u;
    ::getrusage(RUSAGE_THREAD, &u);
    return double(u.ru_utime.tv_sec) + u.ru_utime.tv_usec / 1e6 + double(u.ru_stime.tv_sec) +
           u.ru_stime.tv_usec / 1e6;
}

struct Result {
    double seconds = 0.0;
    double callerSeconds = 0.0;  // CPU time of the calling thread: the part no worker took
    double bitsPerSample = 0.0;
    int ok = 0;
};

void run_child(int size, int bands, int nlev, float rate, int threads, int fd) {
    Result r;
    try {
        GeneratedImage image(size, size, bands);
        Lumetra::TemporaryReservation out(nullptr);
        ImageEncoder encoder(image, nlev, 512, rate, nullptr, nullptr, nullptr, 4.0f, 2.0f, true, 0.25f);
        encoder.setWriteWorldFile(false);
        encoder.setThreads(threads);
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = threadSeconds();
        encoder.encode(out.name());
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        r.callerSeconds = threadSeconds() - c0;
        struct stat st;
        if (::stat(out.name().path(), &st) == 0)
            r.bitsPerSample = 8.0 * double(st.st_size) / (double(size) * size * bands);
        r.ok = 1;
    } catch (...) {
        r.ok = 0;
    }
    if (::write(fd, &r, sizeof r) != ssize_t(sizeof r)) std::_Exit(2);
    std::_Exit(0);
}

// One run in a child process; false when it failed.
bool run_once(int size, int bands, int nlev, float rate, int threads, Result& r, double& cpu, double& rss) {
    int pipefd[2];
    if (::pipe(pipefd) != 0) return false;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipefd[0]);
        run_child(size, bands, nlev, rate, threads, pipefd[1]);
    }
    ::close(pipefd[1]);
    const bool got = ::read(pipefd[0], &r, sizeof r) == ssize_t(sizeof r);
    ::close(pipefd[0]);
    int status = 0;
    struct rusage usage;
    ::wait4(pid, &status, 0, &usage);
    cpu = double(usage.ru_utime.tv_sec) + usage.ru_utime.tv_usec / 1e6 + double(usage.ru_stime.tv_sec) +
          usage.ru_stime.tv_usec / 1e6;
    rss = double(usage.ru_maxrss) / 1024.0;
    return got && r.ok;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes, bandCounts = {1, 3}, levelCounts = {4, 7};
    int threads = 1, runs = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "-threads" && hasValue)
            threads = std::atoi(argv[++i]);
        else if (a == "-bands" && hasValue)
            bandCounts = {std::atoi(argv[++i])};
        else if (a == "-levels" && hasValue)
            levelCounts = {std::atoi(argv[++i])};
        else if (a == "-runs" && hasValue)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            sizes.push_back(std::atoi(argv[i]));
    }
    if (sizes.empty()) sizes = {4096, 8192};
    const float rate = 0.6f;
    std::printf("%-6s %-5s %-4s %-7s %9s %9s %9s %11s %11s %12s %12s\n", "size", "bands", "nlev", "threads",
                "wall s", "CPU s", "caller s", "MP/s (wall)", "MS/s (CPU)", "peak RSS MB", "bits/sample");
    for (int size : sizes)
        for (int bands : bandCounts)
            for (int nlev : levelCounts) {
                std::vector<double> walls, cpus, callers;
                double rss = 0.0, bits = 0.0;
                bool ok = true;
                for (int run = 0; run < runs && ok; ++run) {
                    Result r;
                    double cpu = 0.0, peak = 0.0;
                    ok = run_once(size, bands, nlev, rate, threads, r, cpu, peak);
                    walls.push_back(r.seconds);
                    cpus.push_back(cpu);
                    callers.push_back(r.callerSeconds);
                    rss = std::max(rss, peak);
                    bits = r.bitsPerSample;
                }
                if (!ok) {
                    std::printf("%-6d %-5d %-4d %-7d failed\n", size, bands, nlev, threads);
                    continue;
                }
                const double mp = double(size) * size / 1e6, wall = median(walls), cpu = median(cpus);
                std::printf("%-6d %-5d %-4d %-7d %9.2f %9.2f %9.2f %11.2f %11.2f %12.1f %6.3f of %.2f\n",
                            size, bands, nlev, threads, wall, cpu, median(callers), mp / wall,
                            mp * bands / cpu, rss, bits, double(rate));
                std::fflush(stdout);
            }
    return 0;
}
