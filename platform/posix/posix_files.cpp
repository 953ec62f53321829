#include "platform/posix/posix_files.h"
#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "platform/posix/file_time_conversion.h"
#include "platform/posix/open_below.h"
#include "platform/posix/read_ahead.h"

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

int open_locked(const std::string& path, std::size_t root_length, int flags, int lock,
                struct stat& status) {
    // Most cache roots are reached without any link: then the whole path is
    // opened at once. A missing file is missing either way.
    const int fd = open_without_any_link(path, flags | file_open_flags);
    if (fd >= 0) return lock_regular_file(fd, lock, status);
    if (errno == ENOENT) return -1;
    // A link somewhere (the root may be one) or no openat2: the parts below
    // the root are checked one by one.
    return lock_regular_file(open_below(path.substr(0, root_length),
                                        std::string_view(path).substr(root_length),
                                        flags | file_open_flags),
                             lock, status);
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

    // The end is the size seen under the lock, which writers respect: it is
    // known without a read that comes back empty. The caller's piece and
    // what is left beyond it, up to read_ahead_size, come in one call; the
    // piece straight into the caller's buffer.
    std::int64_t read(void* buffer, std::size_t capacity) override {
        if (const std::size_t held = ahead_.take(buffer, capacity); held > 0)
            return static_cast<std::int64_t>(held);
        if (offset_ >= status_.st_size) return 0;
        const auto left = static_cast<std::size_t>(status_.st_size - offset_);
        if (left <= capacity) return read_next(buffer, left);
        iovec pieces[2] = {{buffer, capacity},
                           {ahead_.space(), std::min(left - capacity, read_ahead_size)}};
        const std::int64_t count = read_next(pieces);
        if (count <= static_cast<std::int64_t>(capacity)) return count;
        ahead_.hold(static_cast<std::size_t>(count) - capacity);
        return static_cast<std::int64_t>(capacity);
    }

    // Setting a time explicitly needs no write access, only ownership.
    bool set_last_access(file_time time) override {
        const timespec times[2] = {to_timespec(time), {0, UTIME_OMIT}};
        return ::futimens(fd_.get(), times) == 0;
    }

private:
    std::int64_t read_next(void* buffer, std::size_t size) {
        iovec piece[1] = {{buffer, size}};
        return read_next(piece);
    }

    template <std::size_t N>
    std::int64_t read_next(iovec (&pieces)[N]) {
        for (;;) {
            const ssize_t count = ::readv(fd_.get(), pieces, N);
            if (count > 0) offset_ += count;
            if (count >= 0 || errno != EINTR) return count;
        }
    }

    descriptor fd_;
    struct stat status_;
    off_t offset_ = 0;
    read_ahead ahead_;
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

std::unique_ptr<readable_file> open_for_reading(const std::string& path, std::size_t root_length) {
    struct stat status {};
    const int fd = open_locked(path, root_length, O_RDONLY, LOCK_SH, status);
    if (fd < 0) return nullptr;
    return std::make_unique<posix_readable_file>(fd, status);
}

std::unique_ptr<writable_file> open_for_writing(const std::string& path, std::size_t root_length) {
    // Not O_TRUNC: the content must stay untouched when the lock is refused.
    struct stat status {};
    const int fd = open_locked(path, root_length, O_WRONLY | O_CREAT, LOCK_EX, status);
    if (fd < 0) return nullptr;
    if (::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<posix_writable_file>(fd);
}

bool delete_file(const std::string& path, std::size_t root_length) {
    const auto separator = path.rfind('/');
    if (separator == std::string::npos || separator < root_length) return false;
    const descriptor leaf(open_below(
        path.substr(0, root_length),
        std::string_view(path).substr(root_length, separator - root_length), O_PATH | O_DIRECTORY));
    if (leaf.get() < 0) return false;
    const std::string name = path.substr(separator + 1);
    struct stat status {};
    if (::fstatat(leaf.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISREG(status.st_mode)) return ::unlinkat(leaf.get(), name.c_str(), 0) == 0;
    const descriptor fd(lock_regular_file(
        ::openat(leaf.get(), name.c_str(), O_RDONLY | file_open_flags), LOCK_EX, status));
    if (fd.get() < 0) return false;
    return ::unlinkat(leaf.get(), name.c_str(), 0) == 0;
}

} // namespace quorin::platform::posix
