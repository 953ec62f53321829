// Listing a leaf directory of the cache tree on POSIX; a leaf reached through
// a symbolic link cannot be listed (leaf_directory.h).
#pragma once

#include "platform/env.h"

namespace quorin::platform::posix {

bool list_directory(const std::string& path,
                    const std::function<bool(const directory_entry&)>& visit);

} // namespace quorin::platform::posix
