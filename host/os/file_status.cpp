#include "os/file_status.h"

#include "os/regular_file_time.h"

namespace quorin::host::os {

std::optional<std::filesystem::file_time_type>
regular_file_modified(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return modified_if_regular(status);
}

} // namespace quorin::host::os
