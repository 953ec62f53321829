#include "os/read_only_file.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "os/file_status.h"

namespace quorin::host::os {
namespace {

// The host links no module code, so it makes this openat2 call itself: one
// call that refuses any way out of `directory` and any link on the way.
int open_confined(int directory, const char* relative) {
    open_how how{};
    how.flags = static_cast<std::uint64_t>(O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
    return static_cast<int>(::syscall(SYS_openat2, directory, relative, &how, sizeof how));
}

} // namespace

std::unique_ptr<read_only_file> read_only_file::open(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return nullptr;
    return std::unique_ptr<read_only_file>(new read_only_file(descriptor));
}

std::unique_ptr<read_only_file> read_only_file::open_beneath(const read_only_file& directory,
                                                             const std::string& relative) {
    const int descriptor = open_confined(directory.descriptor_, relative.c_str());
    if (descriptor < 0) return nullptr;
    return std::unique_ptr<read_only_file>(new read_only_file(descriptor));
}

std::unique_ptr<read_only_file> read_only_file::adopt(unique_descriptor descriptor) {
    if (!descriptor) return nullptr;
    return std::unique_ptr<read_only_file>(new read_only_file(descriptor.release()));
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

std::optional<file_identity> read_only_file::identity_if_regular() const {
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0) return std::nullopt;
    return os::identity_if_regular(status);
}

std::optional<file_identity> read_only_file::identity_beneath(const std::string& relative) const {
    struct stat status {};
    if (::fstatat(descriptor_, relative.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return os::identity_if_regular(status);
}

std::optional<std::filesystem::file_time_type> read_only_file::modified_if_regular() const {
    const auto identity = identity_if_regular();
    if (!identity) return std::nullopt;
    return modified_time(*identity);
}

} // namespace quorin::host::os
