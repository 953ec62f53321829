#include "platform/posix/open_below.h"

#include <unistd.h>

namespace quorin::platform::posix {

int open_below(const std::string& directory, std::string_view below, int flags) {
    int at = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (;;) {
        if (at < 0) return -1;
        const auto start = below.find_first_not_of('/');
        below.remove_prefix(start == std::string_view::npos ? below.size() : start);
        const auto end = below.find('/');
        const std::string part(below.substr(0, end));
        const bool last = end == std::string_view::npos;
        const int next = ::openat(
            at, part.c_str(), (last ? flags : O_PATH | O_DIRECTORY) | O_NOFOLLOW | O_CLOEXEC, 0644);
        ::close(at);
        if (last) return next;
        at = next;
        below.remove_prefix(end);
    }
}

} // namespace quorin::platform::posix
