#include "core/WorkerPool.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

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
