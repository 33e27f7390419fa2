#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/WorkerPool.h"

using Lumetra::WorkerPool;

TEST(WorkerPool, runsEveryIndexOnceJobAfterJobAndPassesTheFirstFailureOn) {
    for (int threads : {1, 2, 8}) {
        WorkerPool pool(threads);
        EXPECT_EQ(pool.threads(), threads);
        for (int round = 0; round < 50; ++round) {
            std::vector<int> hits(size_t(round) + 1, 0);
            pool.run(int(hits.size()), [&](int i) { ++hits[size_t(i)]; });
            EXPECT_EQ(hits, std::vector<int>(hits.size(), 1)) << threads << " threads, round " << round;
        }
        EXPECT_THROW(pool.run(40, [](int i) { if (i == 17) throw std::runtime_error("job 17"); }),
                     std::runtime_error);
        // The pool stays usable after a failed job.
        int sum = 0;
        std::mutex m;
        pool.run(10, [&](int i) {
            std::lock_guard<std::mutex> lock(m);
            sum += i;
        });
        EXPECT_EQ(sum, 45);
    }
}

// Short jobs back to back, their counts going up and down: a worker still
// finishing one job must never claim an index of the next.
TEST(WorkerPool, keepsJobsApartWhenTheyFollowEachOtherQuickly) {
    WorkerPool pool(8);
    std::vector<std::atomic<int>> hits(64);
    for (int round = 0; round < 20000; ++round) {
        const int count = round % 3 == 0 ? 64 : 1 + round % 5;
        for (int i = 0; i < count; ++i) hits[size_t(i)] = 0;
        pool.run(count, [&](int i) { hits[size_t(i)].fetch_add(1); });
        for (int i = 0; i < count; ++i) ASSERT_EQ(hits[size_t(i)].load(), 1) << "round " << round << " index " << i;
    }
}

namespace {
std::atomic<int> threadStarts{0};
thread_local bool started = false;
}  // namespace

TEST(WorkerPool, everyWorkerRunsTheThreadStartOnceBeforeAnyJob) {
    WorkerPool::setThreadStart([] {
        started = true;
        threadStarts.fetch_add(1);
    });
    {
        WorkerPool pool(4);
        const std::thread::id caller = std::this_thread::get_id();
        std::atomic<int> unprepared{0};
        for (int round = 0; round < 20; ++round)
            pool.run(64, [&](int) { unprepared += std::this_thread::get_id() != caller && !started; });
        EXPECT_EQ(unprepared.load(), 0);
    }
    EXPECT_EQ(threadStarts.load(), 3);  // the workers, not the calling thread
    WorkerPool::setThreadStart(nullptr);
    WorkerPool(3).run(8, [](int) {});
    EXPECT_EQ(threadStarts.load(), 3);
}
