#include "support/child_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
// This C header lacks the C++ linkage guards in some C libraries.
extern "C" {
#include <sys/pidfd.h>
}
#include <unistd.h>

extern char** environ;

namespace quorin::test {
namespace {

// Waits until fd is readable or the timeout passes; false on timeout.
bool wait_readable(int fd, std::chrono::milliseconds timeout) {
    pollfd entry{fd, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, static_cast<int>(timeout.count()));
        if (ready >= 0) return ready > 0;
        if (errno != EINTR) return false;
    }
}

int exit_code_of(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

} // namespace

child_process::child_process(const std::string& program,
                             const std::vector<std::string>& arguments) {
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("cannot create a pipe");

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_fds[1]);
    if (spawned != 0) {
        ::close(pipe_fds[0]);
        throw std::runtime_error("cannot start " + program);
    }
    pid_ = pid;
    output_fd_ = pipe_fds[0];
    // The process descriptor is what lets wait() give up after a timeout.
    pid_fd_ = ::pidfd_open(pid_, 0);
    if (pid_fd_ < 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
        ::close(output_fd_);
        throw std::runtime_error("cannot watch " + program);
    }
}

child_process::~child_process() {
    kill();
    ::close(pid_fd_);
    ::close(output_fd_);
}

bool child_process::fill_buffer(std::chrono::milliseconds timeout) {
    if (!wait_readable(output_fd_, timeout)) return false;
    char chunk[4096];
    for (;;) {
        const ssize_t count = ::read(output_fd_, chunk, sizeof chunk);
        if (count > 0) {
            buffer_.append(chunk, static_cast<std::size_t>(count));
            return true;
        }
        if (count == 0 || errno != EINTR) {
            output_closed_ = true;
            return false;
        }
    }
}

std::optional<std::string> child_process::read_line(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto newline = buffer_.find('\n');
        if (newline != std::string::npos) {
            std::string line = buffer_.substr(0, newline);
            buffer_.erase(0, newline + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (output_closed_ || left.count() <= 0 || !fill_buffer(left)) return std::nullopt;
    }
}

void child_process::terminate() { send_signal(SIGTERM); }

void child_process::send_signal(int number) {
    if (!exit_code_) ::kill(pid_, number);
}

void child_process::kill() {
    if (exit_code_) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
    exit_code_ = exit_code_of(status);
}

std::optional<int> child_process::wait(std::chrono::milliseconds timeout) {
    if (exit_code_) return exit_code_;
    if (!wait_readable(pid_fd_, timeout)) return std::nullopt;
    int status = 0;
    pid_t reaped = -1;
    while ((reaped = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {}
    if (reaped != pid_) return std::nullopt;
    exit_code_ = exit_code_of(status);
    return exit_code_;
}

} // namespace quorin::test
