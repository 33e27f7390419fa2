#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/RowHandOff.h"

using Lumetra::RowHandOff;

// Chunks reach the sink whole and in order, read where they lie: the rows
// of a hand-over are overwritten as soon as the two after it are handed.
TEST(RowHandOff, deliversInOrderFromTheRowsHandedAndFinishWaitsForTheLast) {
    std::vector<uint8_t> seen;
    std::vector<int> counts;
    {
        RowHandOff handOff(
            [&](const uint8_t* rows, int count, size_t rowBytes) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                seen.insert(seen.end(), rows, rows + size_t(count) * rowBytes);
                counts.push_back(count);
            },
            2);
        std::vector<uint8_t> ring[3];
        for (int k = 0; k < 40; ++k) {
            const int count = 1 + k % 3;
            ring[k % 3].assign(size_t(count) * 5, uint8_t(k));
            handOff.hand(ring[k % 3].data(), count, 5);
            std::vector<uint8_t>& free = ring[(k + 1) % 3];  // the rows of hand-over k - 2
            free.assign(free.size(), 0xEE);
        }
        handOff.finish();
        ASSERT_EQ(counts.size(), 40u);
    }
    size_t at = 0;
    for (int k = 0; k < 40; ++k) {
        EXPECT_EQ(counts[size_t(k)], 1 + k % 3);
        for (int i = 0; i < counts[size_t(k)] * 5; ++i) ASSERT_EQ(seen[at++], uint8_t(k)) << "chunk " << k;
    }
}

// A failing sink call is passed on by a later hand() or by finish(), and
// nothing handed over after it reaches the sink.
TEST(RowHandOff, passesTheSinksFailureOnAndStopsThere) {
    int calls = 0;
    RowHandOff handOff([&](const uint8_t*, int, size_t) {
        if (++calls == 3) throw std::runtime_error("disk full");
    });
    const uint8_t row[4] = {1, 2, 3, 4};
    bool thrown = false;
    for (int k = 0; k < 50 && !thrown; ++k) {
        try {
            handOff.hand(row, 1, 4);
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "disk full");
            thrown = true;
        }
    }
    // Whether a hand() or only finish() saw it, finish() reports it.
    EXPECT_THROW(handOff.finish(), std::runtime_error);
    EXPECT_EQ(calls, 3);
}

// An abandoned hand-off (the decode failed) stops without finishing.
TEST(RowHandOff, stopsWithoutFinishing) {
    const uint8_t row[4] = {};
    RowHandOff handOff(
        [](const uint8_t*, int, size_t) { std::this_thread::sleep_for(std::chrono::milliseconds(5)); });
    handOff.hand(row, 1, 4);
    handOff.hand(row, 1, 4);
}
