// A program started as a child process, its standard output and error read
// line by line through one pipe. Used by tests that drive a real server.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quorin::test {

class child_process {
public:
    // Starts `program` with `arguments`; throws std::runtime_error when it
    // cannot be started.
    child_process(const std::string& program, const std::vector<std::string>& arguments);
    // Kills the child if it still runs, and reaps it.
    ~child_process();
    child_process(const child_process&) = delete;
    child_process& operator=(const child_process&) = delete;

    // The next line of output without its newline; nullopt when none came
    // within `timeout` or the output ended.
    std::optional<std::string> read_line(std::chrono::milliseconds timeout);

    // True once the child closed its output (normally: it ended) and every
    // line was read.
    bool output_ended() const { return output_closed_ && buffer_.find('\n') == std::string::npos; }

    // Asks the child to stop (SIGTERM).
    void terminate();
    // Sends `number` (such as SIGHUP) while the child runs.
    void send_signal(int number);

    // Ends the child at once (SIGKILL) and reaps it.
    void kill();

    // The exit code once the child ended (128 + signal number when a signal
    // ended it); nullopt when it still runs after `timeout`.
    std::optional<int> wait(std::chrono::milliseconds timeout);

private:
    bool fill_buffer(std::chrono::milliseconds timeout);

    int pid_ = -1;
    int pid_fd_ = -1;
    int output_fd_ = -1;
    std::string buffer_;
    bool output_closed_ = false;
    std::optional<int> exit_code_;
};

} // namespace quorin::test
