#include "platform/host/read_only_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/host/regular_file_time.h"
#include "platform/posix/open_resolved.h"

namespace quorin::platform {

std::unique_ptr<read_only_file> read_only_file::open(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return nullptr;
    return std::unique_ptr<read_only_file>(new read_only_file(descriptor));
}

std::unique_ptr<read_only_file> read_only_file::open_beneath(const read_only_file& directory,
                                                             const std::string& relative) {
    const int descriptor = posix::open_resolved(directory.descriptor_, relative.c_str(), O_RDONLY | O_NONBLOCK,
                                                RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS);
    if (descriptor < 0) return nullptr;
    return std::unique_ptr<read_only_file>(new read_only_file(descriptor));
}

read_only_file::~read_only_file() { ::close(descriptor_); }

std::size_t read_only_file::read_at(std::uint64_t offset, void* into, std::size_t size) const {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(descriptor_, static_cast<char*>(into) + done, size - done,
                                    static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::optional<std::uint64_t> read_only_file::size() const {
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(status.st_size);
}

std::optional<std::filesystem::file_time_type> read_only_file::modified_if_regular() const {
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0) return std::nullopt;
    return platform::modified_if_regular(status);
}

} // namespace quorin::platform
