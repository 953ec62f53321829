// Directory listing on Windows.
#pragma once

#include "platform/env.h"

namespace quorin::platform::win32 {

// FindFirstFileExA / FindNextFileA over path\*; from version 6.1 on with the
// basic information level, which leaves out the short names.
bool list_directory(const std::string& path,
                    const std::function<bool(const directory_entry&)>& visit);

} // namespace quorin::platform::win32
