#pragma once
// A fixed set of worker threads that run the indices of one job at a time
// together with the calling thread. Jobs must write disjoint data: the
// results then do not depend on the number of threads.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace Lumetra {

class WorkerPool {
public:
    using Job = std::function<void(int)>;

    // `threads` counts the calling thread; 1 or less starts no worker.
    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int threads() const { return int(workers_.size()) + 1; }

    // Calls job(i) for every i in [0, count) and returns when all are done;
    // rethrows the first exception a call threw (the indices not yet started
    // are then skipped).
    void run(int count, const Job& job);
    // The same, with the calling thread running `alongside` first, while
    // the workers start on the job; the calling thread then joins them. An
    // exception of `alongside` is rethrown once the job is done (the job's
    // own exceptions count only when `alongside` threw none).
    void run(int count, const Job& job, const std::function<void()>& alongside);

    // The number of online cores (at least 1).
    static int onlineCores();
    // A function every worker thread runs first, before any job (null for
    // none); pools started later take it up.
    static void setThreadStart(void (*start)());

private:
    void loop();
    // Runs the indices of generation `generation` that are still unclaimed.
    void work(uint32_t generation);

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    // The job of the current generation; valid while any index is unfinished.
    const Job* job_ = nullptr;
    std::atomic<int> count_{0};
    // Generation in the high half, next unclaimed index in the low half: an
    // index is claimed by one compare-and-swap, which fails once the
    // generation has moved on.
    std::atomic<uint64_t> ticket_{0};
    std::atomic<uint32_t> generation_{0};
    std::atomic<int> unfinished_{0};
    std::atomic<bool> failed_{false};
    int sleepers_ = 0;  // workers waiting on wake_ (under mutex_)
    bool stop_ = false;
    std::exception_ptr error_;
};

// Runs job(i) for i in [0, count) on `pool`, or in order on this thread
// when there is no pool.
inline void runJobs(WorkerPool* pool, int count, const WorkerPool::Job& job) {
    if (pool) {
        pool->run(count, job);
    } else {
        for (int i = 0; i < count; ++i) job(i);
    }
}

// The same with `alongside` run on this thread as WorkerPool::run does it
// (without a pool: `alongside` after the job).
inline void runJobs(WorkerPool* pool, int count, const WorkerPool::Job& job,
                    const std::function<void()>& alongside) {
    if (pool) {
        pool->run(count, job, alongside);
    } else {
        for (int i = 0; i < count; ++i) job(i);
        alongside();
    }
}

}  // namespace Lumetra
