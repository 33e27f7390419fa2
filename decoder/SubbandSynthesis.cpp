// Tree synthesis: merges each inner node's four children into its planes,
// coarsest level first.
#include <vector>

#include "core/Exception.h"
#include "decoder/Subband.h"
#include "decoder/WaveletSynthesis.h"

namespace Lumetra {

namespace {

void poll(const InterruptHook& interrupt) {
    if (interrupt && interrupt() != 0) throw Interrupt();
}

SynthesisInput rowsOf(const Subband& child, int band) {
    SynthesisInput in;
    in.data = child.band(band);
    in.step = child.rowStep();
    in.first = child.support().y0;
    in.count = child.support().height();
    in.fullLength = child.fullHeight();
    return in;
}

}  // namespace

void Subband::synthesize(const InterruptHook& interrupt) {
    if (isLeaf()) return;
    static const InterruptHook none;
    children_[0][0]->synthesize(none);
    children_[1][0]->synthesize(none);
    children_[0][1]->synthesize(none);
    children_[1][1]->synthesize(none);
    if (organisation_ != 1)
        throw Exception("Unknown data organization encountered during subband synthesis.");
    merge(interrupt);
    for (auto& column : children_)
        for (auto& c : column) c.reset();
}

void Subband::merge(const InterruptHook& interrupt) {
    const Subband& ll = *children_[0][0];
    const Subband& hl = *children_[1][0];
    const Subband& lh = *children_[0][1];
    const Subband& hh = *children_[1][1];
    if (ll.support_.x0 != lh.support_.x0 || ll.support_.x1 != lh.support_.x1)
        throw Exception("Error 1 in subroutine merge2.");
    if (!ll.hasPlanes() || !lh.hasPlanes() || ll.columnStep() != 1 || lh.columnStep() != 1 ||
        ll.count() != bandCount_ || lh.count() != bandCount_)
        throw Exception("Error 2 in subroutine merge2.");
    if (hl.support_.x0 != hh.support_.x0 || hl.support_.x1 != hh.support_.x1)
        throw Exception("Error 3 in subroutine merge2.");
    if (!hl.hasPlanes() || !hh.hasPlanes() || hl.columnStep() != 1 || hh.columnStep() != 1 ||
        hl.count() != bandCount_ || hh.count() != bandCount_)
        throw Exception("Error 4 in subroutine merge2.");
    if (!support_.present) throw Exception("Error 5 in subroutine merge2.");

    const int rows = support_.height();
    const int lowColumns = ll.support_.width();
    const int highColumns = hl.support_.width();
    std::vector<float> lowHalf(std::size_t(rows) * lowColumns);
    std::vector<float> highHalf(std::size_t(rows) * highColumns);
    std::vector<float> scratch;

    // All bands of the node in one allocation, band after band.
    allocate(support_.width(), rows, bandCount_, false);  // every sample is written below

    for (int band = 0; band < bandCount_; ++band) {
        synthesizeLines(support_.y0, support_.y1, rowsOf(ll, band), rowsOf(lh, band), lowHalf.data(),
                        lowColumns, lowColumns, scratch);
        poll(interrupt);
        synthesizeLines(support_.y0, support_.y1, rowsOf(hl, band), rowsOf(hh, band), highHalf.data(),
                        highColumns, highColumns, scratch);
        poll(interrupt);
        SynthesisInput low{nullptr, 1, ll.support_.x0, lowColumns, ll.fullWidth()};
        SynthesisInput high{nullptr, 1, hl.support_.x0, highColumns, hl.fullWidth()};
        float* out = bands_[band];
        for (int r = 0; r < rows; ++r) {
            low.data = lowHalf.data() + std::size_t(r) * lowColumns;
            high.data = highHalf.data() + std::size_t(r) * highColumns;
            synthesizeLines(support_.x0, support_.x1, low, high, out + std::ptrdiff_t(r) * rowStep_, 1, 1,
                            scratch);
        }
        poll(interrupt);
    }
}

}  // namespace Lumetra
