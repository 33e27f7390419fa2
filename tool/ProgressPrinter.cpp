#include "tool/ProgressPrinter.h"

#include <cmath>

namespace {
constexpr int kTicks = 40;
}

void ProgressPrinter::tick(int i) {
    if (i % 4 == 0)
        std::fprintf(out_, "%d", i * 10 / 4);
    else
        std::fputc('.', out_);
}

void ProgressPrinter::update(float fraction) {
    if (finished_ || !(fraction >= 0.0f)) return;  // also NaN
    int due = int(std::floor(double(fraction) * kTicks + 1e-6));
    if (due > kTicks - 1) due = kTicks - 1;
    if (due <= printed_) return;
    while (printed_ < due) tick(++printed_);
    std::fflush(out_);
}

void ProgressPrinter::finish() {
    while (printed_ < kTicks) tick(++printed_);
    std::fputs(" - done.\n", out_);
    std::fflush(out_);
    finished_ = true;
}

void ProgressPrinter::abandon() {
    if (printed_ >= 0 && !finished_) {
        std::fputc('\n', out_);
        std::fflush(out_);
        finished_ = true;
    }
}
