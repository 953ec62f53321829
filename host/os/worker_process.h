// A child process that runs a program with a socket to its parent: the
// child finds its end as descriptor `worker_socket_descriptor` and inherits
// no other descriptor beyond the standard three.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "os/unique_descriptor.h"

namespace quorin::host::os {

inline constexpr int worker_socket_descriptor = 3;

class worker_process {
public:
    // Starts `program` with `arguments` (the program's name not among
    // them); nullopt when it cannot be started.
    static std::optional<worker_process> start(const std::filesystem::path& program,
                                               const std::vector<std::string>& arguments);

    // Kills the child and waits for its end, unless that was done already.
    ~worker_process();
    worker_process(worker_process&& other) noexcept;
    worker_process& operator=(worker_process&& other) noexcept;
    worker_process(const worker_process&) = delete;
    worker_process& operator=(const worker_process&) = delete;

    int pid() const { return pid_; }
    // The parent's end of the socket.
    int socket() const { return socket_.get(); }

    // SIGKILL; it stays to be waited for.
    void kill() const;
    // Kills it (a child may close its socket and stay) and waits for its
    // end; how it ended ("exit status 1", "signal 9").
    std::string end();
    // Whether it has ended, reaping it then, without waiting.
    bool ended();
    // Forgets a child that was killed but may still be freeing its memory:
    // whoever inherits it once this process has left reaps it.
    void abandon();

private:
    worker_process(int pid, unique_descriptor socket) : pid_(pid), socket_(std::move(socket)) {}

    int pid_; // 0 once waited for
    unique_descriptor socket_;
};

} // namespace quorin::host::os
