// What was learnt from a file's bytes, kept by the file's identity so that
// the next request for the same version need not read them again. A
// changed file shows another identity, and is read afresh.
//
// The file system stamps changes from a coarse clock, so two writes within
// one tick leave the same status-change time: what was read between them
// would stand for the second version too. A file is therefore remembered
// only once its last change lies further back than any such tick, when
// every later write must stamp a later time.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "base/bounded_memo.h"
#include "os/file_identity.h"

namespace quorin::host {

// Past the coarsest clock of the file systems met in practice (FAT's two
// seconds); Linux's own stamps move every few milliseconds.
inline constexpr std::chrono::seconds settle_time{3};

// Whether the file's last change, seen at `now`, can no longer share its
// time with a later one. A change time ahead of the clock never is.
inline bool settled(const os::file_identity& file, std::chrono::system_clock::time_point now) {
    return now.time_since_epoch() - file.changed > settle_time;
}

struct file_identity_hash {
    std::size_t operator()(const os::file_identity& file) const {
        std::size_t seed = 0;
        for (const auto part :
             {file.device, file.inode, file.size, static_cast<std::uint64_t>(file.modified.count()),
              static_cast<std::uint64_t>(file.changed.count())}) {
            seed ^=
                std::hash<std::uint64_t>{}(part) + 0x9e3779b97f4a7c15 + (seed << 6) + (seed >> 2);
        }
        return seed;
    }
};

// At most `capacity` files for each thread (bounded_memo.h), the least
// recently used forgotten first; safe to share between threads.
template <typename Value>
class file_memo {
public:
    explicit file_memo(std::size_t capacity) : memo_(capacity) {}

    std::optional<Value> find(const os::file_identity& file) { return memo_.find(file); }

    // `now` is taken before the identity was asked, so that a change made
    // while the bytes were being read counts as later than it.
    void remember(const os::file_identity& file, const Value& value,
                  std::chrono::system_clock::time_point now) {
        if (settled(file, now)) memo_.remember(file, value);
    }

private:
    bounded_memo<os::file_identity, Value, file_identity_hash> memo_;
};

} // namespace quorin::host
