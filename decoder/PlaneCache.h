#pragma once
// Sample planes kept when freed, for the next strip of the same decoding.
//
// A region is decoded strip by strip, and each strip builds, merges and
// frees trees of planes shaped like the last one's. Planes of a few
// megabytes freed back to the system come back as fresh pages that the
// kernel faults in and zeroes one by one, which cost more than decoding
// them. While a PlaneCache lives, the planes that its thread takes return to
// it when freed and serve the next requests of about their size.

#include <cstddef>
#include <cstring>
#include <memory>

namespace Lumetra {

class PlaneCache {
public:
    struct State;

    // Installs a cache for the planes this thread takes while it lives.
    PlaneCache();
    // A cache that serves a thread only while a Use of it lives there; one
    // of `share` caches that together keep what one cache keeps idle.
    struct Detached {};
    explicit PlaneCache(Detached, std::size_t share = 1);
    // Frees what the cache holds; planes still in use are freed when let go.
    ~PlaneCache();
    PlaneCache(const PlaneCache&) = delete;
    PlaneCache& operator=(const PlaneCache&) = delete;

    // While it lives, the planes this thread takes come from `cache`.
    class Use {
    public:
        explicit Use(const PlaneCache& cache);
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

    private:
        std::shared_ptr<State> previous_;
    };

    // `count` samples of the trivial type T, zero-filled when asked, from
    // this thread's cache when one is installed, else freshly allocated.
    template <class T>
    static std::shared_ptr<T> take(std::size_t count, bool zeroed) {
        const std::size_t bytes = (count == 0 ? 1 : count) * sizeof(T);
        std::shared_ptr<void> block = takeBytes(bytes);
        if (zeroed) std::memset(block.get(), 0, bytes);
        return std::static_pointer_cast<T>(block);
    }

private:
    static std::shared_ptr<void> takeBytes(std::size_t bytes);

    std::shared_ptr<State> state_;
    std::shared_ptr<State> previous_;
    bool installed_ = true;
};

}  // namespace Lumetra
