#include "platform/posix/posix_directory.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/file_time_conversion.h"
#include "platform/posix/open_below.h"

namespace quorin::platform::posix {
namespace {

bool is_dot_or_dot_dot(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

} // namespace

bool list_directory(const std::string& path, std::size_t root_length,
                    const std::function<bool(const directory_entry&)>& visit) {
    const int fd = open_below(path.substr(0, root_length),
                              std::string_view(path).substr(root_length), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    DIR* directory = ::fdopendir(fd);
    if (directory == nullptr) {
        ::close(fd);
        return false;
    }
    const int directory_fd = ::dirfd(directory);
    while (const dirent* entry = ::readdir(directory)) {
        if (is_dot_or_dot_dot(entry->d_name)) continue;
        directory_entry found{entry->d_name, entry->d_type == DT_DIR, 0, 0};
        if (!found.is_directory) {
            // Entries that vanish between listing and stat are passed over.
            struct stat status {};
            if (::fstatat(directory_fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
            found.is_directory = S_ISDIR(status.st_mode);
            found.creation = to_file_time(status.st_ctim);
            found.last_access = to_file_time(status.st_atim);
        }
        if (!visit(found)) break;
    }
    ::closedir(directory);
    return true;
}

} // namespace quorin::platform::posix
