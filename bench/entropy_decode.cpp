// Entropy-decoding throughput: every code-block of every block and band of
// a file decoded whole (payload read, Huffman decoding, symbols mapped onto
// the code-block), without dequantisation or synthesis.
//
//   bench_entropy_decode FILE.wvr [repetitions]
//
// Reports processor seconds, megabytes of payload and millions of
// coefficients per second (the fastest repetition).

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "decoder/CodeBlockDecoder.h"
#include "format/DBInfo.h"
#include "format/HuffmanDecoder.h"
#include "format/WavraFile.h"

using namespace Lumetra;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_entropy_decode FILE.wvr [repetitions]\n");
        return 1;
    }
    const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const WavraFile file{FileSpecification(argv[1])};
    DBInfo& db = file.blockDatabase();
    // Payloads and tables read once, so that only decoding is timed.
    struct Job {
        const DBInfo::BlockHeader* header;
        int band;
        std::vector<std::vector<uint8_t>> payloads;
    };
    std::vector<std::unique_ptr<DBInfo::BlockHeader>> headers;
    std::vector<Job> jobs;
    double bytes = 0, coefficients = 0;
    for (int s = 0; s < db.subbandCount(); ++s)
        for (auto it = db.iterator(s, 0, db.width() - 1, 0, db.height() - 1); !it->done(); it->next()) {
            headers.push_back(db.readBlockHeader(s, it->blockNumber()));
            const DBInfo::BlockHeader* h = headers.back().get();
            for (int b = 0; b < h->bandCount(); ++b) {
                if (!h->hasData(b) || h->step(b) == 0.0f) continue;
                Job job{h, b, {}};
                for (int k = 0; k < h->codeBlockCount(b); ++k) {
                    size_t n = 0;
                    const uint8_t* p = db.readPayload(*h, b, k, &n);
                    job.payloads.emplace_back(p, p + n);
                    bytes += double(n);
                }
                coefficients += (double(h->x1()) - h->x0() + 1) * (double(h->y1()) - h->y0() + 1);
                jobs.push_back(std::move(job));
            }
        }
    std::vector<int32_t> out;
    double best = 1e30;
    for (int r = 0; r < repetitions; ++r) {
        const std::clock_t t0 = std::clock();
        for (const Job& job : jobs) {
            const DBInfo::BlockHeader& h = *job.header;
            const HuffmanDecoder decoder(h.table(job.band));
            const int bw = h.x1() - h.x0() + 1, bh = h.y1() - h.y0() + 1;
            const int cw = h.codeBlockWidth(job.band), ch = h.codeBlockHeight(job.band);
            const int columns = (bw + cw - 1) / cw;
            for (size_t k = 0; k < job.payloads.size(); ++k) {
                const int cx = int(k) % columns * cw, cy = int(k) / columns * ch;
                const CodeBlockArea cell{cx, cy, std::min(cw, bw - cx), std::min(ch, bh - cy)};
                out.assign(size_t(cell.width) * size_t(cell.height), 0);
                CodeBlockCursor next;
                decodeCodeBlockRegion(decoder, job.payloads[k].data(), job.payloads[k].size(), out.data(),
                                      cell, cell, nullptr, next);
            }
        }
        best = std::min(best, double(std::clock() - t0) / CLOCKS_PER_SEC);
    }
    std::printf("%s: %.1f MB of payload, %.1f M coefficients: %.3f s CPU, %.1f MB/s, %.1f Mcoef/s\n", argv[1],
                bytes / 1e6, coefficients / 1e6, best, bytes / best / 1e6, coefficients / best / 1e6);
    return 0;
}
