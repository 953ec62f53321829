#include "os/worker_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <utility>

#include "os/descriptor_passing.h"

extern char** environ;

namespace quorin::host::os {
namespace {

// Frees the action list and attributes however the start ends.
struct spawn_setup {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    spawn_setup() {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
    }
    ~spawn_setup() {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
    }
    spawn_setup(const spawn_setup&) = delete;
    spawn_setup& operator=(const spawn_setup&) = delete;
};

} // namespace

std::optional<worker_process> worker_process::start(const std::filesystem::path& program,
                                                    const std::vector<std::string>& arguments) {
    auto ends = make_socket_pair();
    if (!ends) return std::nullopt;
    // The child's end must not already be the number it is moved to: a
    // dup2 onto itself would leave it closed on exec.
    unique_descriptor child_end = std::move(ends->second);
    if (child_end.get() == worker_socket_descriptor) {
        child_end = unique_descriptor(
            ::fcntl(child_end.get(), F_DUPFD_CLOEXEC, worker_socket_descriptor + 1));
        if (!child_end) return std::nullopt;
    }

    spawn_setup setup;
    ::posix_spawn_file_actions_adddup2(&setup.actions, child_end.get(), worker_socket_descriptor);
    // Client connections, the cache's files and the listening socket stay
    // here, whether or not their owners asked for close-on-exec.
    ::posix_spawn_file_actions_addclosefrom_np(&setup.actions, worker_socket_descriptor + 1);

    const std::string name = program.filename().string();
    std::vector<char*> argv{const_cast<char*>(name.c_str())};
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv.data(),
                      environ) != 0) {
        return std::nullopt;
    }
    return worker_process(pid, std::move(ends->first));
}

worker_process::worker_process(worker_process&& other) noexcept
    : pid_(std::exchange(other.pid_, 0)), socket_(std::move(other.socket_)) {}

worker_process& worker_process::operator=(worker_process&& other) noexcept {
    if (this != &other) {
        if (pid_ != 0) end();
        pid_ = std::exchange(other.pid_, 0);
        socket_ = std::move(other.socket_);
    }
    return *this;
}

worker_process::~worker_process() {
    if (pid_ != 0) end();
}

void worker_process::kill() const {
    if (pid_ != 0) ::kill(pid_, SIGKILL);
}

bool worker_process::ended() {
    if (pid_ == 0) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
    pid_ = 0;
    socket_.reset();
    return true;
}

void worker_process::abandon() {
    pid_ = 0;
    socket_.reset();
}

std::string worker_process::end() {
    if (pid_ == 0) return "ended";
    kill();
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
    pid_ = 0;
    socket_.reset();
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "ended";
}

} // namespace quorin::host::os
