#pragma once
// Hands rows over to a sink that runs on a thread of its own, so that the
// thread handing them on can go on with its work while the sink writes.
// Each hand-over is copied; one waits while the one before reaches the
// sink, and a third waits for its turn. The sink's calls keep the order of
// the hand-overs and never overlap.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace Lumetra {

class RowHandOff {
public:
    using Sink = std::function<void(const uint8_t* rows, int count, size_t rowBytes)>;

    explicit RowHandOff(Sink sink);
    // Stops the thread once the sink's current call returns; rows still
    // waiting are dropped (finish() first to have them all).
    ~RowHandOff();
    RowHandOff(const RowHandOff&) = delete;
    RowHandOff& operator=(const RowHandOff&) = delete;

    // Copies `count` rows of `rowBytes` bytes and returns without waiting
    // for the sink. Rethrows the exception of an earlier sink call; rows
    // handed over after such a call never reach the sink.
    void hand(const uint8_t* rows, int count, size_t rowBytes);
    // Returns once every row handed over has reached the sink; rethrows the
    // exception of a sink call.
    void finish();

private:
    struct Chunk {
        std::vector<uint8_t> bytes;
        int count = 0;
        size_t rowBytes = 0;
    };

    void loop();

    Sink sink_;
    Chunk chunks_[2];
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t handed_ = 0;    // chunks handed over
    uint64_t consumed_ = 0;  // chunks the sink is done with (or skipped after a failure)
    bool stop_ = false;
    std::exception_ptr error_;
    std::thread thread_;  // started last, once the rest is set up
};

}  // namespace Lumetra
