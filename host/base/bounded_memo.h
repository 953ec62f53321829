// The host's one kind of memo: a map of at most `capacity` entries, the
// least recently used forgotten first, safe to share between threads. It
// keeps what was learnt of files' bytes (file_memo.h) and the sources
// found by their paths.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

namespace quorin::host {

// With a transparent `Hash` (and `Equal`), a key is looked up as any type
// they take, a view for a string key, without being copied.
template <typename Key, typename Value, typename Hash = std::hash<Key>,
          typename Equal = std::equal_to<>>
class bounded_memo {
public:
    explicit bounded_memo(std::size_t capacity) : capacity_(capacity) {}

    template <typename Lookup>
    std::optional<Value> find(const Lookup& key) {
        const std::lock_guard lock(mutex_);
        const auto found = index_.find(key);
        if (found == index_.end()) return std::nullopt;
        recent_.splice(recent_.begin(), recent_, found->second);
        return found->second->second;
    }

    // The key is copied only when it is new.
    template <typename Lookup>
    void remember(const Lookup& key, const Value& value) {
        if (capacity_ == 0) return;
        const std::lock_guard lock(mutex_);
        if (const auto found = index_.find(key); found != index_.end()) {
            found->second->second = value;
            recent_.splice(recent_.begin(), recent_, found->second);
            return;
        }
        if (index_.size() == capacity_) {
            index_.erase(recent_.back().first);
            recent_.pop_back();
        }
        recent_.emplace_front(Key(key), value);
        index_.emplace(recent_.front().first, recent_.begin());
    }

private:
    using entries = std::list<std::pair<Key, Value>>;
    std::size_t capacity_;
    std::mutex mutex_;
    entries recent_; // most recently used first
    std::unordered_map<Key, typename entries::iterator, Hash, Equal> index_;
};

} // namespace quorin::host
