// What one stat call tells about a file.
#pragma once

#include <filesystem>
#include <optional>

namespace quorin::host::os {

// The modification time of the regular file at `path` (links followed);
// nullopt when there is no such file or it is not a regular file.
std::optional<std::filesystem::file_time_type>
regular_file_modified(const std::filesystem::path& path);

} // namespace quorin::host::os
