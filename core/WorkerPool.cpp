#include "core/WorkerPool.h"

#include <unistd.h>

namespace Lumetra {

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

void WorkerPool::run(int count, const Job& job) { run(count, job, nullptr); }

void WorkerPool::run(int count, const Job& job, const std::function<void()>& alongside) {
    if (workers_.empty() || count < 1 || (count == 1 && !alongside)) {
        for (int i = 0; i < count; ++i) job(i);
        if (alongside) alongside();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = &job;
        count_ = count;
        next_.store(0);
        active_ = int(workers_.size());
        error_ = nullptr;
        ++generation_;
    }
    wake_.notify_all();
    std::exception_ptr own;
    if (alongside) {
        try {
            alongside();
        } catch (...) {
            own = std::current_exception();
        }
    }
    work();
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return active_ == 0; });
        job_ = nullptr;
        error = error_;
        error_ = nullptr;
    }
    if (own) std::rethrow_exception(own);
    if (error) std::rethrow_exception(error);
}

void WorkerPool::work() {
    for (;;) {
        const int i = next_.fetch_add(1);
        if (i >= count_) return;
        try {
            (*job_)(i);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!error_) error_ = std::current_exception();
            next_.store(count_);
        }
    }
}

void WorkerPool::loop() {
    uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
            if (stop_) return;
            seen = generation_;
        }
        work();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (--active_ == 0) done_.notify_one();
        }
    }
}

}  // namespace Lumetra
