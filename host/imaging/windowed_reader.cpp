#include "imaging/windowed_reader.h"

#include <FreeImage.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "os/read_only_file.h"

namespace quorin::host {
namespace {

windowed_reader& reader_of(fi_handle handle) { return *static_cast<windowed_reader*>(handle); }

unsigned DLL_CALLCONV read_proc(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    return reader_of(handle).read(buffer, size, count);
}
unsigned DLL_CALLCONV write_proc(void*, unsigned, unsigned, fi_handle) { return 0; }
int DLL_CALLCONV seek_proc(fi_handle handle, long offset, int origin) {
    return reader_of(handle).seek(offset, origin);
}
long DLL_CALLCONV tell_proc(fi_handle handle) { return reader_of(handle).tell(); }

} // namespace

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
    long base = 0;
    if (origin == SEEK_CUR) {
        base = static_cast<long>(position_);
    } else if (origin == SEEK_END) {
        const auto size = file_.size();
        if (!size) return -1;
        base = static_cast<long>(*size);
    } else if (origin != SEEK_SET) {
        return -1;
    }
    if (offset < -base || offset > std::numeric_limits<long>::max() - base) return -1;
    position_ = static_cast<std::uint64_t>(base + offset);
    return 0;
}

FreeImageIO* windowed_reader_io() {
    // The library takes the functions through a non-const pointer but only
    // reads them.
    static FreeImageIO io{&read_proc, &write_proc, &seek_proc, &tell_proc};
    return &io;
}

} // namespace quorin::host
