#include "core/WorkerPool.h"

#include <unistd.h>

namespace Lumetra {

namespace {

// How often a waiting thread looks again before it sleeps: a decoding strip
// hands out several jobs a millisecond, and waking a sleeping thread costs
// tens of microseconds on a virtual machine.
constexpr int kSpins = 8000;

// The index of a closed generation: above every count.
constexpr uint64_t kClosed = 0xFFFFFFFFu;

std::atomic<void (*)()> threadStart{nullptr};

inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

}  // namespace

WorkerPool::WorkerPool(int threads) {
    for (int i = 1; i < threads; ++i) workers_.emplace_back([this] { loop(); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (auto& w : workers_) w.join();
}

int WorkerPool::onlineCores() {
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n < 1 ? 1 : n > 256 ? 256 : int(n);
}

void WorkerPool::setThreadStart(void (*start)()) { threadStart.store(start); }

void WorkerPool::run(int count, const Job& job) { run(count, job, nullptr); }

void WorkerPool::run(int count, const Job& job, const std::function<void()>& alongside) {
    if (workers_.empty() || count < 1 || (count == 1 && !alongside)) {
        for (int i = 0; i < count; ++i) job(i);
        if (alongside) alongside();
        return;
    }
    const uint32_t last = generation_.load(std::memory_order_relaxed), generation = last + 1;
    // Closes the last generation to a worker still looking at it before the
    // count changes (release/acquire on the count keeps that order for it).
    ticket_.store((uint64_t(last) << 32) | kClosed, std::memory_order_release);
    job_ = &job;
    unfinished_.store(count, std::memory_order_relaxed);
    failed_.store(false, std::memory_order_relaxed);
    count_.store(count, std::memory_order_release);
    ticket_.store(uint64_t(generation) << 32, std::memory_order_release);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        error_ = nullptr;
        generation_.store(generation, std::memory_order_release);
        if (sleepers_ > 0) wake_.notify_all();
    }
    std::exception_ptr own;
    if (alongside) {
        try {
            alongside();
        } catch (...) {
            own = std::current_exception();
        }
    }
    work(generation);
    // Every index is claimed; wait for the ones still running elsewhere.
    for (int spin = 0; unfinished_.load(std::memory_order_acquire) != 0 && spin < kSpins; ++spin) relax();
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return unfinished_.load(std::memory_order_acquire) == 0; });
        error = error_;
        error_ = nullptr;
    }
    job_ = nullptr;
    if (own) std::rethrow_exception(own);
    if (error) std::rethrow_exception(error);
}

void WorkerPool::work(uint32_t generation) {
    uint64_t ticket = ticket_.load(std::memory_order_acquire);
    for (;;) {
        if (uint32_t(ticket >> 32) != generation) return;
        const uint32_t i = uint32_t(ticket);
        if (i >= uint32_t(count_.load(std::memory_order_acquire))) return;
        if (!ticket_.compare_exchange_weak(ticket, ticket + 1, std::memory_order_acq_rel)) continue;
        // Index i is ours, so the generation cannot end before we finish it.
        if (!failed_.load(std::memory_order_relaxed)) {
            try {
                (*job_)(int(i));
            } catch (...) {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!error_) error_ = std::current_exception();
                failed_.store(true, std::memory_order_relaxed);
            }
        }
        if (unfinished_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            std::lock_guard<std::mutex> lock(mutex_);
            done_.notify_one();
        }
        ticket = ticket_.load(std::memory_order_acquire);
    }
}

void WorkerPool::loop() {
    if (void (*start)() = threadStart.load()) start();
    uint32_t seen = 0;
    for (;;) {
        for (int spin = 0; generation_.load(std::memory_order_acquire) == seen && spin < kSpins; ++spin) relax();
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ++sleepers_;
            wake_.wait(lock, [&] { return stop_ || generation_.load(std::memory_order_acquire) != seen; });
            --sleepers_;
            if (stop_) return;
            seen = generation_.load(std::memory_order_acquire);
        }
        work(seen);
    }
}

}  // namespace Lumetra
