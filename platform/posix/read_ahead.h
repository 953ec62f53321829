// A cache file read ahead in large calls and handed out in the caller's
// smaller pieces: the module copies an answer in 4096-byte pieces, which
// would otherwise cost one read call each.
#pragma once

#include <cstddef>
#include <memory>

namespace quorin::platform::posix {

// Bounds the memory one open file holds ahead of its reader.
inline constexpr std::size_t read_ahead_size = 128 * 1024;

class read_ahead {
public:
    read_ahead() = default;
    read_ahead(const read_ahead&) = delete;
    read_ahead& operator=(const read_ahead&) = delete;

    // Moves up to `capacity` of the bytes held into `buffer`; 0 when none
    // are held.
    std::size_t take(void* buffer, std::size_t capacity);

    // Where the next `read_ahead_size` bytes of the file may be read to;
    // valid until `hold` says how many arrived there.
    void* space();
    void hold(std::size_t count);

private:
    struct give_back {
        void operator()(std::byte* buffer) const;
    };

    std::unique_ptr<std::byte[], give_back> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

} // namespace quorin::platform::posix
