// The image library's stream over bytes in memory followed by a file from
// some offset on: a file whose head was rewritten, read without copying
// the rest.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/windowed_reader.h"

namespace quorin::host {

class prefixed_reader {
public:
    // `head`, then `file` from `rest_at` to its end.
    prefixed_reader(std::string head, const os::read_only_file& file, std::uint64_t rest_at);

    // As windowed_reader's.
    unsigned read(void* into, unsigned item_size, unsigned count);
    int seek(long offset, int origin);
    long tell() const { return static_cast<long>(position_); }

private:
    std::string head_;
    windowed_reader rest_;
    std::uint64_t rest_at_;
    std::uint64_t rest_size_;
    std::uint64_t position_ = 0;
};

} // namespace quorin::host
