// A stat result's modification time, for regular files only.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <sys/stat.h>

namespace quorin::host::os {

inline std::optional<std::filesystem::file_time_type>
modified_if_regular(const struct stat& status) {
    if (!S_ISREG(status.st_mode)) return std::nullopt;
    const std::chrono::sys_time<std::chrono::nanoseconds> modified{
        std::chrono::seconds(status.st_mtim.tv_sec) +
        std::chrono::nanoseconds(status.st_mtim.tv_nsec)};
    return std::chrono::file_clock::from_sys(modified);
}

} // namespace quorin::host::os
