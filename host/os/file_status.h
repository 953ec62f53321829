// A stat result's identity of a regular file.
#pragma once

#include <chrono>
#include <optional>
#include <sys/stat.h>

#include "os/file_identity.h"

namespace quorin::host::os {

inline std::chrono::nanoseconds since_epoch(const struct timespec& time) {
    return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
}

inline std::optional<file_identity> identity_if_regular(const struct stat& status) {
    if (!S_ISREG(status.st_mode)) return std::nullopt;
    return file_identity{static_cast<std::uint64_t>(status.st_dev),
                         static_cast<std::uint64_t>(status.st_ino),
                         static_cast<std::uint64_t>(status.st_size), since_epoch(status.st_mtim),
                         since_epoch(status.st_ctim)};
}

} // namespace quorin::host::os
