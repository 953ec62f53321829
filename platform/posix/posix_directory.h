// Directory listing on POSIX.
#pragma once

#include "platform/env.h"

namespace quorin::platform::posix {

bool list_directory(const std::string& path,
                    const std::function<bool(const directory_entry&)>& visit);

} // namespace quorin::platform::posix
