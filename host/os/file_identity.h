// What tells one version of a regular file from another without reading
// it: which file it is (device, inode) and the times and size any change
// to its bytes moves. The status-change time cannot be set back by a
// program, so a file rewritten with its old size and modification time
// still shows a new identity.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace quorin::host::os {

struct file_identity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::chrono::nanoseconds modified{}; // since the epoch, system clock
    std::chrono::nanoseconds changed{};  // status change, likewise
    friend bool operator==(const file_identity&, const file_identity&) = default;
};

// The identity of the regular file `path` names, its links followed as an
// open follows them; nullopt for anything else or when it cannot be asked.
std::optional<file_identity> identity_of_regular(const std::string& path);

inline std::filesystem::file_time_type modified_time(const file_identity& file) {
    return std::chrono::file_clock::from_sys(
        std::chrono::sys_time<std::chrono::nanoseconds>(file.modified));
}

} // namespace quorin::host::os
