// Keys with byte sizes in the order of their last use, to tell which to
// drop first once their total passes a bound. Not locked: its owner is.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quorin::host {

class byte_lru {
public:
    explicit byte_lru(std::uint64_t bound) : bound_(bound) {}

    // `key` with `bytes`, as the most recently used.
    void put(const std::string& key, std::uint64_t bytes) {
        erase(key);
        order_.emplace_front(key, bytes);
        index_.emplace(key, order_.begin());
        total_ += bytes;
    }

    // Marks `key`, if present, as the most recently used.
    void touch(const std::string& key) {
        if (const auto found = index_.find(key); found != index_.end())
            order_.splice(order_.begin(), order_, found->second);
    }

    void erase(const std::string& key) {
        const auto found = index_.find(key);
        if (found == index_.end()) return;
        total_ -= found->second->second;
        order_.erase(found->second);
        index_.erase(found);
    }

    bool over_bound() const { return total_ > bound_; }
    std::uint64_t total() const { return total_; }

    // Every key, the least recently used first.
    std::vector<std::string> oldest_first() const {
        std::vector<std::string> keys;
        keys.reserve(order_.size());
        for (auto it = order_.rbegin(); it != order_.rend(); ++it) keys.push_back(it->first);
        return keys;
    }

private:
    using entries = std::list<std::pair<std::string, std::uint64_t>>;
    std::uint64_t bound_;
    std::uint64_t total_ = 0;
    entries order_; // most recently used first
    std::unordered_map<std::string, entries::iterator> index_;
};

} // namespace quorin::host
