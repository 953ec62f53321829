// The image library's stream functions over a reader of ours that behaves
// as a stdio read stream: read, seek and tell as fread, fseek and ftell.
// Nothing is written through them.
#pragma once

#include <FreeImage.h>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>

namespace quorin::host {

// Where fseek would go from `position` in a stream of `size` bytes (asked
// only for SEEK_END): past the end may be, before the start may not.
template <typename Size>
std::optional<std::uint64_t> seek_target(std::uint64_t position, Size&& size, long offset,
                                         int origin) {
    long base = 0;
    if (origin == SEEK_CUR) {
        base = static_cast<long>(position);
    } else if (origin == SEEK_END) {
        const std::optional<std::uint64_t> end = size();
        if (!end) return std::nullopt;
        base = static_cast<long>(*end);
    } else if (origin != SEEK_SET) {
        return std::nullopt;
    }
    if (offset < -base || offset > std::numeric_limits<long>::max() - base) return std::nullopt;
    return static_cast<std::uint64_t>(base + offset);
}

template <typename Reader>
FreeImageIO* reader_io() {
    // The library takes the functions through a non-const pointer but only
    // reads them.
    static FreeImageIO io{
        [](void* buffer, unsigned size, unsigned count, fi_handle handle) {
            return static_cast<Reader*>(handle)->read(buffer, size, count);
        },
        [](void*, unsigned, unsigned, fi_handle) { return 0U; },
        [](fi_handle handle, long offset, int origin) {
            return static_cast<Reader*>(handle)->seek(offset, origin);
        },
        [](fi_handle handle) { return static_cast<Reader*>(handle)->tell(); },
    };
    return &io;
}

} // namespace quorin::host
