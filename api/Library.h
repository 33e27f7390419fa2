#pragma once
// What the public API's sources share: start-up registration, the bridge
// from a Progress to the decoder's and encoder's hooks, and conversions of
// the internal value types.

#include <functional>

#include "imaging/pixels/GeoReference.h"
#include "wavra/wavra.h"

namespace wavra {
namespace detail {

// Registers the standard colour transformer factories, once per process
// whatever the thread; every entry point calls it.
void prepare();

// Carries a Progress into the hooks of a decode or an encode. Reports go to
// the caller; polls between reports ask again with the last fraction (once a
// report came), so that a cancel takes effect soon. A false answer throws
// Lumetra::Interrupt from the hook.
class Cancellation {
public:
    explicit Cancellation(const Progress& progress) : progress_(progress) {}

    bool active() const { return bool(progress_); }
    // Later reports of 0 .. 1 reach the caller as start .. end.
    void setSpan(double start, double end) {
        start_ = start;
        end_ = end;
    }
    void report(double fraction);
    // Never returns non-zero: a cancel throws.
    int poll();
    // The hooks, or empty ones without a Progress.
    std::function<void(float)> reportHook();
    std::function<int()> pollHook();

private:
    void ask();

    const Progress& progress_;
    double start_ = 0.0, end_ = 1.0;
    double last_ = 0.0;
    bool reported_ = false;
};

// The world-file order of the public type from the navigator's values.
GeoReference publicGeoReference(const Lumetra::GeoReference& g);

}  // namespace detail
}  // namespace wavra
