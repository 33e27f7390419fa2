#pragma once
// A one-line progress display on a console stream:
//   0...10...20...30...40...50...60...70...80...90...100 - done.
// Each tick stands for 2.5 %; every fourth tick prints its percentage.

#include <cstdio>

#include "wavra/wavra.h"

class ProgressPrinter {
public:
    explicit ProgressPrinter(std::FILE* out) : out_(out) {}

    // Prints the ticks up to `fraction` (0 .. 1) not yet printed; never
    // goes backwards and keeps the final "100" for finish().
    void update(float fraction);
    // Completes the line with the remaining ticks and "100 - done.".
    void finish();
    // Ends a started, unfinished line, so that a message can follow.
    void abandon();
    // A library progress that updates this printer and never cancels.
    wavra::Progress callback() {
        return [this](double fraction) {
            update(float(fraction));
            return true;
        };
    }

private:
    void tick(int i);

    std::FILE* out_;
    int printed_ = -1;  // last tick printed; tick 0 is "0"
    bool finished_ = false;
};
