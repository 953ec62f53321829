#include "imaging/windowed_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "imaging/reader_io.h"
#include "os/read_only_file.h"

namespace quorin::host {

unsigned windowed_reader::read(void* into, unsigned item_size, unsigned count) {
    const std::uint64_t wanted = std::uint64_t{item_size} * count;
    if (wanted == 0) return 0;
    char* out = static_cast<char*>(into);
    std::uint64_t done = 0;
    while (done < wanted) {
        if (position_ >= window_start_ && position_ < window_start_ + window_size_) {
            const auto n = std::min(wanted - done, window_start_ + window_size_ - position_);
            std::memcpy(out + done, window_.data() + (position_ - window_start_), n);
            done += n;
            position_ += n;
            continue;
        }
        if (wanted - done >= window_.size()) {
            const std::size_t n = file_.read_at(position_, out + done, wanted - done);
            done += n;
            position_ += n;
            break;
        }
        window_start_ = position_;
        window_size_ = file_.read_at(position_, window_.data(), window_.size());
        if (window_size_ == 0) break;
    }
    return static_cast<unsigned>(done / item_size);
}

int windowed_reader::seek(long offset, int origin) {
    const auto target = seek_target(
        position_, [this] { return file_.size(); }, offset, origin);
    if (!target) return -1;
    position_ = *target;
    return 0;
}

} // namespace quorin::host
