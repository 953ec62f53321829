// Cache files on POSIX: the sharing rules are produced with flock(). Paths
// name files in the leaf directories of the cache tree, which are reached
// without passing through a symbolic link (leaf_directory.h).
#pragma once

#include "platform/env.h"

namespace quorin::platform::posix {

std::unique_ptr<readable_file> open_for_reading(const std::string& path);
std::unique_ptr<writable_file> open_for_writing(const std::string& path);

// Unlinks the file while holding an exclusive lock on it, so that a file a
// request is reading or writing is refused. A symbolic link (or any other
// non-regular entry) is unlinked as itself.
bool delete_file(const std::string& path);

} // namespace quorin::platform::posix
