// Where the running program's file lies.
#pragma once

#include <filesystem>

namespace quorin::host::os {

// Absolute path of the running executable; empty when it cannot be found.
std::filesystem::path executable_path();

// A path that names the running program's own file even after an upgrade
// replaced or removed it on disk, so that a process started from it runs
// the same version as the one that starts it.
std::filesystem::path running_program_file();

} // namespace quorin::host::os
