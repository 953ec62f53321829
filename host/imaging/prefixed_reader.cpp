#include "imaging/prefixed_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "imaging/reader_io.h"
#include "os/read_only_file.h"

namespace quorin::host {

prefixed_reader::prefixed_reader(std::string head, const os::read_only_file& file,
                                 std::uint64_t rest_at)
    : head_(std::move(head)), rest_(file), rest_at_(rest_at) {
    const std::uint64_t size = file.size().value_or(0);
    rest_size_ = size > rest_at ? size - rest_at : 0;
}

unsigned prefixed_reader::read(void* into, unsigned item_size, unsigned count) {
    const std::uint64_t wanted = std::uint64_t{item_size} * count;
    if (wanted == 0) return 0;
    char* out = static_cast<char*>(into);
    std::uint64_t done = 0;
    if (position_ < head_.size()) {
        done = std::min<std::uint64_t>(wanted, head_.size() - position_);
        std::memcpy(out, head_.data() + position_, done);
        position_ += done;
    }
    if (done < wanted &&
        rest_.seek(static_cast<long>(rest_at_ + position_ - head_.size()), SEEK_SET) == 0) {
        const std::uint64_t read = rest_.read(out + done, 1, static_cast<unsigned>(wanted - done));
        done += read;
        position_ += read;
    }
    return static_cast<unsigned>(done / item_size);
}

int prefixed_reader::seek(long offset, int origin) {
    const auto size = [this]() -> std::optional<std::uint64_t> {
        return head_.size() + rest_size_;
    };
    const auto target = seek_target(position_, size, offset, origin);
    if (!target) return -1;
    position_ = *target;
    return 0;
}

} // namespace quorin::host
