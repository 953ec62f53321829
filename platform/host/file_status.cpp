#include "platform/host/file_status.h"

#include <chrono>
#include <sys/stat.h>

namespace quorin::platform {

std::optional<std::filesystem::file_time_type> regular_file_modified(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    const std::chrono::sys_time<std::chrono::nanoseconds> modified{
        std::chrono::seconds(status.st_mtim.tv_sec) + std::chrono::nanoseconds(status.st_mtim.tv_nsec)};
    return std::chrono::file_clock::from_sys(modified);
}

} // namespace quorin::platform
