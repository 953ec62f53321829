#include "imaging/prefixed_reader.h"

#include <FreeImage.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "os/read_only_file.h"

namespace quorin::host {
namespace {

prefixed_reader& reader_of(fi_handle handle) { return *static_cast<prefixed_reader*>(handle); }

unsigned DLL_CALLCONV read_proc(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    return reader_of(handle).read(buffer, size, count);
}
unsigned DLL_CALLCONV write_proc(void*, unsigned, unsigned, fi_handle) { return 0; }
int DLL_CALLCONV seek_proc(fi_handle handle, long offset, int origin) {
    return reader_of(handle).seek(offset, origin);
}
long DLL_CALLCONV tell_proc(fi_handle handle) { return reader_of(handle).tell(); }

} // namespace

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
    const std::uint64_t size = head_.size() + rest_size_;
    long base = 0;
    if (origin == SEEK_CUR) {
        base = static_cast<long>(position_);
    } else if (origin == SEEK_END) {
        base = static_cast<long>(size);
    } else if (origin != SEEK_SET) {
        return -1;
    }
    if (offset < -base || offset > std::numeric_limits<long>::max() - base) return -1;
    position_ = static_cast<std::uint64_t>(base + offset);
    return 0;
}

FreeImageIO* prefixed_reader_io() {
    static FreeImageIO io{&read_proc, &write_proc, &seek_proc, &tell_proc};
    return &io;
}

} // namespace quorin::host
