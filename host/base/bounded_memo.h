// The host's one kind of memo: a map of at most `capacity` entries, the
// least recently used forgotten first, safe to share between threads. It
// keeps what was learnt of files' bytes (file_memo.h) and the sources
// found by their paths.
//
// Every thread remembers into and finds in its own part (thread_parts.h):
// what one thread learnt, another learns again once, and in exchange a hit
// costs no lock that another core holds. Each part holds at most
// `capacity` entries.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

#include "base/thread_parts.h"

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
        part& mine = parts_.mine();
        const std::lock_guard lock(mine.mutex);
        const auto found = mine.index.find(key);
        if (found == mine.index.end()) return std::nullopt;
        mine.recent.splice(mine.recent.begin(), mine.recent, found->second);
        return found->second->second;
    }

    // The key is copied only when it is new.
    template <typename Lookup>
    void remember(const Lookup& key, const Value& value) {
        if (capacity_ == 0) return;
        part& mine = parts_.mine();
        const std::lock_guard lock(mine.mutex);
        if (const auto found = mine.index.find(key); found != mine.index.end()) {
            found->second->second = value;
            mine.recent.splice(mine.recent.begin(), mine.recent, found->second);
            return;
        }
        if (mine.index.size() == capacity_) {
            mine.index.erase(mine.recent.back().first);
            mine.recent.pop_back();
        }
        mine.recent.emplace_front(Key(key), value);
        mine.index.emplace(mine.recent.front().first, mine.recent.begin());
    }

private:
    using entries = std::list<std::pair<Key, Value>>;
    struct part {
        std::mutex mutex;
        entries recent; // most recently used first
        std::unordered_map<Key, typename entries::iterator, Hash, Equal> index;
    };
    std::size_t capacity_;
    thread_parts<part> parts_;
};

} // namespace quorin::host
