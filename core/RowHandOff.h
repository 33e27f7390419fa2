#pragma once
// Hands rows over to a sink that runs on a thread of its own, so that the
// thread handing them on can go on with its work while the sink writes.
// The rows are not copied: the sink reads them where they lie. At most
// `waiting` hand-overs wait for the sink; the next one waits for its turn.
// The sink's calls keep the order of the hand-overs and never overlap.

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

    explicit RowHandOff(Sink sink, int waiting = 2);
    // Stops the thread once the sink's current call returns; rows still
    // waiting are dropped (finish() first to have them all).
    ~RowHandOff();
    RowHandOff(const RowHandOff&) = delete;
    RowHandOff& operator=(const RowHandOff&) = delete;

    // Hands `count` rows of `rowBytes` bytes over and returns without
    // waiting for the sink; they must stay as they are until `waiting`
    // later hand-overs have returned, or finish() has. Rethrows the
    // exception of an earlier sink call; rows handed over after such a call
    // never reach the sink.
    void hand(const uint8_t* rows, int count, size_t rowBytes);
    // Returns once every row handed over has reached the sink; rethrows the
    // exception of a sink call.
    void finish();

private:
    struct Chunk {
        const uint8_t* rows = nullptr;
        int count = 0;
        size_t rowBytes = 0;
    };

    void loop();

    Sink sink_;
    std::vector<Chunk> chunks_;  // a ring: hand-over k in chunk k % size
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t handed_ = 0;    // chunks handed over
    uint64_t consumed_ = 0;  // chunks the sink is done with (or skipped after a failure)
    bool stop_ = false;
    std::exception_ptr error_;
    std::thread thread_;  // started last, once the rest is set up
};

}  // namespace Lumetra
