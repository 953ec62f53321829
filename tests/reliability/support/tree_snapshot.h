// Everything below a directory as it stands: each entry's type, size,
// modification time, and a file's bytes or a link's target. Two snapshots
// compare equal only when nothing below was created, changed or removed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace quorin::test {

struct entry_state {
    char type = '?'; // 'f' file, 'd' directory, 'l' symbolic link
    std::uintmax_t size = 0;
    std::int64_t modified_ns = 0;
    std::string content; // a file's bytes or a link's target

    bool operator==(const entry_state&) const = default;
};

using tree_snapshot = std::map<std::string, entry_state>;

// Symbolic links are recorded, never followed.
tree_snapshot snapshot_of(const std::filesystem::path& directory);

} // namespace quorin::test
