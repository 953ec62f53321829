// The conversion workers' system-call filter, installed in a child process
// that then tries what a hostile decoder would, and what decoding needs.
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/sanitizer_build.h"
#include "os/system_call_filter.h"

namespace quorin::test {
namespace {

enum class verdict { allowed, refused, other_failure, not_confined };

// Opened before the filter, as the worker's source is.
int opened_before = -1;

// Runs `attempt` (true when its call succeeded) in a child confined by
// the filter.
verdict in_confined_child(bool (*attempt)()) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (!host::os::confine_system_calls(host::sanitizer_build)) ::_exit(3);
        if (attempt()) ::_exit(0);
        ::_exit(errno == EPERM ? 1 : 2);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return verdict::other_failure;
    constexpr verdict by_code[] = {verdict::allowed, verdict::refused, verdict::other_failure,
                                   verdict::not_confined};
    return by_code[WEXITSTATUS(status) & 3];
}

struct attempt_case {
    const char* what;
    bool (*attempt)();
    verdict expected;
};

const attempt_case cases[] = {
    // Sanitizer runtimes read /proc when a thread starts: there only, files
    // may be read.
    {"open a file", [] { return ::open("/proc/self/status", O_RDONLY) >= 0; },
     host::sanitizer_build ? verdict::allowed : verdict::refused},
    {"open a file to write", [] { return ::open("/proc/self/status", O_WRONLY) >= 0; },
     verdict::refused},
    {"create a file", [] { return ::open("/tmp", O_TMPFILE | O_RDWR, 0600) >= 0; },
     verdict::refused},
    {"open a network socket", [] { return ::socket(AF_INET, SOCK_STREAM, 0) >= 0; },
     verdict::refused},
    {"make a socket pair",
     [] {
         int ends[2];
         return ::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) == 0;
     },
     verdict::refused},
    {"start a process",
     [] {
         const pid_t started = ::fork();
         if (started == 0) ::_exit(0);
         return started > 0;
     },
     verdict::refused},
    {"run a program",
     [] {
         char* const argv[] = {const_cast<char*>("true"), nullptr};
         ::execv("/bin/true", argv);
         return false;
     },
     verdict::refused},
    {"map executable memory",
     [] {
         return ::mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) !=
                MAP_FAILED;
     },
     verdict::refused},
    {"map memory to decode into",
     [] {
         return ::mmap(nullptr, 1 << 24, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1,
                       0) != MAP_FAILED;
     },
     verdict::allowed},
    {"start a thread",
     [] {
         pthread_t thread{};
         if (::pthread_create(
                 &thread, nullptr, [](void*) -> void* { return nullptr; }, nullptr) != 0)
             return false;
         return ::pthread_join(thread, nullptr) == 0;
     },
     verdict::allowed},
    {"read a file opened before",
     [] {
         char byte = 0;
         return ::pread(opened_before, &byte, 1, 0) == 1;
     },
     verdict::allowed},
};

TEST(SystemCallFilter, RefusesFilesSocketsProcessesAndCodeButLetsDecodingWork) {
    opened_before = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(opened_before, 0);
    for (const auto& row : cases)
        EXPECT_EQ(in_confined_child(row.attempt), row.expected) << row.what;
    ::close(opened_before);
}

} // namespace
} // namespace quorin::test
