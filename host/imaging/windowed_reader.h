// A stdio read stream's behaviour over a file read at offsets, for the
// image library's stream interface: reads count whole items and stop at the
// end, seeks may pass the end but not go before the start. One 4 KiB window
// of the file stays in memory, so rereading the head costs no system call.
#pragma once

#include <array>
#include <cstdint>

namespace quorin::host::os {
class read_only_file;
}

namespace quorin::host {

class windowed_reader {
public:
    explicit windowed_reader(const os::read_only_file& file) : file_(file) {}

    // As fread: the number of whole items read.
    unsigned read(void* into, unsigned item_size, unsigned count);
    // As fseek: 0, or -1 with the position unchanged.
    int seek(long offset, int origin);
    // As ftell.
    long tell() const { return static_cast<long>(position_); }

private:
    const os::read_only_file& file_;
    std::uint64_t position_ = 0;
    std::array<char, 4096> window_;
    std::uint64_t window_start_ = 0;
    std::uint64_t window_size_ = 0;
};

} // namespace quorin::host
