// Listing a leaf directory of the cache tree on POSIX; a leaf reached through
// a symbolic link below the cache root cannot be listed (open_below.h).
#pragma once

#include "platform/env.h"

namespace quorin::platform::posix {

bool list_directory(const std::string& path, std::size_t root_length,
                    const std::function<bool(const directory_entry&)>& visit);

} // namespace quorin::platform::posix
