// Cache files on POSIX: the sharing rules are produced with flock(). Paths
// name files below the cache root, the first `root_length` bytes of the
// path, and are reached without passing through a symbolic link below it
// (open_below.h).
#pragma once

#include "platform/env.h"

namespace quorin::platform::posix {

std::unique_ptr<readable_file> open_for_reading(const std::string& path, std::size_t root_length);
std::unique_ptr<writable_file> open_for_writing(const std::string& path, std::size_t root_length);

// Unlinks the file while holding an exclusive lock on it, so that a file a
// request is reading or writing is refused. A symbolic link (or any other
// non-regular entry) is unlinked as itself.
bool delete_file(const std::string& path, std::size_t root_length);

} // namespace quorin::platform::posix
