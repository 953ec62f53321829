// One openat2 call under a resolution policy, where checking the way
// component by component takes several calls.
#pragma once

#include <cstdint>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quorin::platform::posix {

// Opens `path` relative to the directory `at` (or AT_FDCWD) with `flags`
// plus O_CLOEXEC, resolving it under `resolve` (RESOLVE_* bits). -1 with
// errno ELOOP or EXDEV when the policy refuses the way, ENOSYS (or what a
// seccomp filter answers) where the kernel has no openat2.
inline int open_resolved(int at, const char* path, int flags, std::uint64_t resolve) {
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags | O_CLOEXEC);
    how.mode = (flags & O_CREAT) != 0 ? 0644 : 0;
    how.resolve = resolve;
    return static_cast<int>(::syscall(SYS_openat2, at, path, &how, sizeof how));
}

} // namespace quorin::platform::posix
