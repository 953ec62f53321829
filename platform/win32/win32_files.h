// Cache files on Windows: the sharing rules are the platform's own share
// modes.
#pragma once

#include "platform/env.h"

namespace quorin::platform::win32 {

// CreateFileW for reading data, shared with other readers only.
std::unique_ptr<readable_file> open_for_reading(const wide_string& path);

// The C runtime's "wb" stream through the wide path, sharing nothing.
std::unique_ptr<writable_file> open_for_writing(const wide_string& path);

} // namespace quorin::platform::win32
