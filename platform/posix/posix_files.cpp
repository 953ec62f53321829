#include "platform/posix/posix_files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/file_time_conversion.h"
#include "platform/posix/leaf_directory.h"

namespace quorin::platform::posix {
namespace {

// Owns one descriptor.
class descriptor {
public:
    explicit descriptor(int fd) : fd_(fd) {}
    ~descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    descriptor(const descriptor&) = delete;
    descriptor& operator=(const descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

constexpr int file_open_flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

// Takes the flock that gives the wanted sharing without waiting, and keeps
// fd only if it is a regular file. status describes the file as it is under
// the lock: read before it, it could pair the size and times of one store
// with the bytes of a store that ran in between.
int lock_regular_file(int fd, int lock, struct stat& status) {
    if (fd < 0) return -1;
    if (::flock(fd, lock | LOCK_NB) != 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Opens a regular file of a leaf directory, never through a symbolic link.
int open_locked_in(int leaf, const std::string& name, int flags, int lock, struct stat& status) {
    return lock_regular_file(::openat(leaf, name.c_str(), flags | file_open_flags, 0644), lock,
                             status);
}

int open_locked(const std::string& path, int flags, int lock, struct stat& status) {
    // Most cache roots are reached without any link: then the whole path is
    // opened at once. A missing file is missing either way.
    const int fd = open_without_any_link(path, flags | file_open_flags);
    if (fd >= 0) return lock_regular_file(fd, lock, status);
    if (errno == ENOENT) return -1;
    // A link somewhere (the root may be one) or no openat2: the two levels
    // below the root are checked one by one.
    const auto [leaf_path, name] = split_file_path(path);
    const descriptor leaf(open_leaf_directory(leaf_path, O_PATH));
    if (leaf.get() < 0) return -1;
    return open_locked_in(leaf.get(), name, flags, lock, status);
}

// Times and size are those of the moment of opening: writers are locked out
// from then on.
class posix_readable_file final : public readable_file {
public:
    posix_readable_file(int fd, const struct stat& status) : fd_(fd), status_(status) {}

    bool times(file_times& out) override {
        out.creation = to_file_time(status_.st_ctim);
        out.last_access = to_file_time(status_.st_atim);
        out.last_write = to_file_time(status_.st_mtim);
        return true;
    }

    bool size(std::uint64_t& out) override {
        out = static_cast<std::uint64_t>(status_.st_size);
        return true;
    }

    std::int64_t read(void* buffer, std::size_t capacity) override {
        for (;;) {
            const ssize_t count = ::read(fd_.get(), buffer, capacity);
            if (count >= 0 || errno != EINTR) return count;
        }
    }

private:
    descriptor fd_;
    struct stat status_;
};

class posix_writable_file final : public writable_file {
public:
    explicit posix_writable_file(int fd) : fd_(fd) {}

    bool write_all(const void* data, std::size_t size) override {
        const auto* bytes = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t count = ::write(fd_.get(), bytes, size);
            if (count < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            bytes += count;
            size -= static_cast<std::size_t>(count);
        }
        return true;
    }

    // The kernel sets the status-change time, which serves as the creation
    // time, to the moment of this call; no other creation time can be stored.
    bool stamp(const std::function<file_time()>& /*clock*/, file_time last_write) override {
        const timespec times[2] = {{0, UTIME_OMIT}, to_timespec(last_write)};
        return ::futimens(fd_.get(), times) == 0;
    }

private:
    descriptor fd_;
};

} // namespace

std::unique_ptr<readable_file> open_for_reading(const std::string& path) {
    struct stat status {};
    const int fd = open_locked(path, O_RDONLY, LOCK_SH, status);
    if (fd < 0) return nullptr;
    return std::make_unique<posix_readable_file>(fd, status);
}

std::unique_ptr<writable_file> open_for_writing(const std::string& path) {
    // Not O_TRUNC: the content must stay untouched when the lock is refused.
    struct stat status {};
    const int fd = open_locked(path, O_WRONLY | O_CREAT, LOCK_EX, status);
    if (fd < 0) return nullptr;
    if (::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<posix_writable_file>(fd);
}

bool delete_file(const std::string& path) {
    const auto [leaf_path, name] = split_file_path(path);
    const descriptor leaf(open_leaf_directory(leaf_path, O_PATH));
    if (leaf.get() < 0) return false;
    struct stat status {};
    if (::fstatat(leaf.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISREG(status.st_mode)) return ::unlinkat(leaf.get(), name.c_str(), 0) == 0;
    const descriptor fd(open_locked_in(leaf.get(), name, O_RDONLY, LOCK_EX, status));
    if (fd.get() < 0) return false;
    return ::unlinkat(leaf.get(), name.c_str(), 0) == 0;
}

} // namespace quorin::platform::posix
