// Where the running program's file lies.
#pragma once

#include <filesystem>

namespace quorin::host::os {

// Absolute path of the running executable; empty when it cannot be found.
std::filesystem::path executable_path();

} // namespace quorin::host::os
