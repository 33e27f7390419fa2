#include "decoder/PlaneCache.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <new>
#include <utility>

namespace Lumetra {

namespace {

// What a cache keeps idle at most; planes freed beyond it go to the system.
constexpr std::size_t kMostIdleBytes = std::size_t(32) << 20;

}  // namespace

struct PlaneCache::State {
    std::size_t mostIdle = kMostIdleBytes;
    std::mutex mutex;
    std::multimap<std::size_t, void*> idle;  // by capacity in bytes
    std::size_t idleBytes = 0;
    bool open = true;

    ~State() {
        for (auto& entry : idle) ::operator delete(entry.second);
    }
};

namespace {

thread_local std::shared_ptr<PlaneCache::State> t_cache;

// The deleter of a taken plane: back to its cache while that is open.
struct GiveBack {
    std::shared_ptr<PlaneCache::State> state;
    std::size_t capacity;

    void operator()(void* block) const {
        if (state) {
            const std::lock_guard<std::mutex> hold(state->mutex);
            if (state->open && state->idleBytes + capacity <= state->mostIdle) {
                state->idle.emplace(capacity, block);
                state->idleBytes += capacity;
                return;
            }
        }
        ::operator delete(block);
    }
};

}  // namespace

PlaneCache::PlaneCache() : state_(std::make_shared<State>()), previous_(std::move(t_cache)) {
    t_cache = state_;
}

PlaneCache::PlaneCache(Detached, std::size_t share) : state_(std::make_shared<State>()), installed_(false) {
    state_->mostIdle = kMostIdleBytes / std::max<std::size_t>(share, 1);
}

PlaneCache::~PlaneCache() {
    {
        const std::lock_guard<std::mutex> hold(state_->mutex);
        state_->open = false;
        for (auto& entry : state_->idle) ::operator delete(entry.second);
        state_->idle.clear();
        state_->idleBytes = 0;
    }
    if (installed_) t_cache = std::move(previous_);
}

PlaneCache::Use::Use(const PlaneCache& cache) : previous_(std::move(t_cache)) { t_cache = cache.state_; }

PlaneCache::Use::~Use() { t_cache = std::move(previous_); }

std::shared_ptr<void> PlaneCache::takeBytes(std::size_t bytes) {
    const std::shared_ptr<State>& state = t_cache;
    if (!state) return std::shared_ptr<void>(::operator new(bytes), GiveBack{nullptr, bytes});
    {
        // The smallest idle plane that holds `bytes` without wasting more
        // than a quarter of it.
        const std::lock_guard<std::mutex> hold(state->mutex);
        const auto found = state->idle.lower_bound(bytes);
        if (found != state->idle.end() && found->first - bytes <= found->first / 4) {
            const std::size_t capacity = found->first;
            void* block = found->second;
            state->idle.erase(found);
            state->idleBytes -= capacity;
            return std::shared_ptr<void>(block, GiveBack{state, capacity});
        }
    }
    return std::shared_ptr<void>(::operator new(bytes), GiveBack{state, bytes});
}

}  // namespace Lumetra
