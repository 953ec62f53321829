#include "os/executable_path.h"

#include <system_error>

namespace quorin::host::os {

std::filesystem::path executable_path() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : path;
}

std::filesystem::path running_program_file() { return "/proc/self/exe"; }

} // namespace quorin::host::os
