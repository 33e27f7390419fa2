#pragma once
// A bounded store of shared values by key: the least recently used leave
// first once their estimated bytes pass the budget. Any thread may use it.

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace Lumetra {

template <class V>
class RecentCache {
public:
    explicit RecentCache(std::size_t budget) : budget_(budget) {}

    // The value kept under `key` (now the most recent), or null.
    std::shared_ptr<const V> find(uint64_t key) {
        const std::lock_guard<std::mutex> hold(mutex_);
        const auto found = entries_.find(key);
        if (found == entries_.end()) return nullptr;
        uses_.splice(uses_.begin(), uses_, found->second.use);
        return found->second.value;
    }

    // Keeps `value` of about `bytes` under `key`, unless it alone would take
    // more than a quarter of the budget or the key is kept already.
    void keep(uint64_t key, std::shared_ptr<const V> value, std::size_t bytes) {
        const std::lock_guard<std::mutex> hold(mutex_);
        if (bytes > budget_ / 4 || entries_.count(key)) return;
        while (bytes_ + bytes > budget_ && !uses_.empty()) {
            const auto last = entries_.find(uses_.back());
            bytes_ -= last->second.bytes;
            entries_.erase(last);
            uses_.pop_back();
        }
        uses_.push_front(key);
        entries_.emplace(key, Entry{std::move(value), bytes, uses_.begin()});
        bytes_ += bytes;
    }

private:
    struct Entry {
        std::shared_ptr<const V> value;
        std::size_t bytes = 0;
        std::list<uint64_t>::iterator use;
    };
    std::mutex mutex_;
    std::unordered_map<uint64_t, Entry> entries_;
    std::list<uint64_t> uses_;  // most recent first
    std::size_t bytes_ = 0;
    std::size_t budget_;
};

}  // namespace Lumetra
