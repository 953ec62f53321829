// Reaching the leaf directories of the cache tree without passing through a
// symbolic link.
//
// Cache files lie two levels below the cache root ("root/3/7f/name"). A link
// planted in place of either level would lead reads, writes, listings and
// deletions out of the tree, so both levels are opened with O_NOFOLLOW, one
// below the other. The root itself may be a link: the settings name it.
#pragma once

#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "platform/posix/open_resolved.h"

namespace quorin::platform::posix {

// Opens the leaf directory `leaf_path` ("root/3/7f") with `flags` (plus
// O_DIRECTORY, O_NOFOLLOW, O_CLOEXEC). -1 when either level is missing, not
// a directory, or a link.
inline int open_leaf_directory(const std::string& leaf_path, int flags) {
    const auto separator = leaf_path.rfind('/');
    if (separator == std::string::npos) return -1;
    const int first_level = ::open(leaf_path.substr(0, separator).c_str(),
                                   O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (first_level < 0) return -1;
    const int leaf = ::openat(first_level, leaf_path.c_str() + separator + 1,
                              flags | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(first_level);
    return leaf;
}

// Opens `path` with `flags` (plus O_CLOEXEC) only if no component of it,
// the root's own included, is a symbolic link: one call where the general
// walk takes five. -1 with errno ELOOP when a link is met, ENOSYS (or what a
// seccomp filter answers) where the kernel has no openat2.
inline int open_without_any_link(const std::string& path, int flags) {
    return open_resolved(AT_FDCWD, path.c_str(), flags, RESOLVE_NO_SYMLINKS);
}

// A cache file path split into its leaf directory and its name.
struct leaf_and_name {
    std::string leaf;
    std::string name;
};

inline leaf_and_name split_file_path(const std::string& file_path) {
    const auto separator = file_path.rfind('/');
    if (separator == std::string::npos) return {{}, file_path};
    return {file_path.substr(0, separator), file_path.substr(separator + 1)};
}

} // namespace quorin::platform::posix
