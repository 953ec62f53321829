// Opening a path below a directory without passing through a symbolic link.
//
// A link planted anywhere below the cache root would lead reads, writes,
// listings and deletions out of the tree, so every part of a path below the
// root is opened with O_NOFOLLOW, one below the other. The root itself may
// be a link: the settings name it.
#pragma once

#include <fcntl.h>
#include <string>
#include <string_view>

#include "platform/posix/open_resolved.h"

namespace quorin::platform::posix {

// Opens `below` (parts joined by '/'; empty parts are passed over) relative
// to the directory `directory` with `flags` plus O_NOFOLLOW and O_CLOEXEC
// (mode 0644 when it creates a file). `directory` itself is opened as named,
// links and all. -1 when a part is missing, not a directory, or a link.
int open_below(const std::string& directory, std::string_view below, int flags);

// Opens `path` with `flags` (plus O_CLOEXEC) only if no component of it,
// the root's own included, is a symbolic link: one call where the walk of
// open_below takes one per part. -1 with errno ELOOP when a link is met,
// ENOSYS (or what a seccomp filter answers) where the kernel has no openat2.
inline int open_without_any_link(const std::string& path, int flags) {
    return open_resolved(AT_FDCWD, path.c_str(), flags, RESOLVE_NO_SYMLINKS);
}

} // namespace quorin::platform::posix
