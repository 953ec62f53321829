// A real quorin-host process for end-to-end tests: started on a free
// 127.0.0.1 port with its own private module copy, its output collected
// line by line, stopped with SIGTERM.
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"

namespace quorin::test {

// The settings file text with a cache folder and a log file.
std::string settings_text(const std::string& cache_folder,
                          const std::string& log_file = "expiry.log");

// Copies the built quorin.so into `directory` and writes its quorin.setting
// with `cache_folder`; returns the module copy's path.
std::filesystem::path install_module(const std::filesystem::path& directory,
                                     const std::string& cache_folder);

struct finished_run {
    std::optional<int> exit_code; // empty: still running after the timeout (then killed)
    std::string output;
};

// Runs quorin-host with `arguments` until it ends on its own.
finished_run run_host_to_end(const std::vector<std::string>& arguments,
                             std::chrono::seconds timeout);

class host_process {
public:
    using line_test = std::function<bool(const std::string&)>;

    // Starts quorin-host with `arguments` plus a listening address on a
    // free port, and waits until it says where it serves. Throws when it
    // does not start.
    explicit host_process(std::vector<std::string> arguments);
    ~host_process();
    host_process(const host_process&) = delete;
    host_process& operator=(const host_process&) = delete;

    std::string url(const std::string& path_and_query) const;
    int port() const { return port_; }

    // The first line since the start that passes `test`, waiting for it
    // while the host runs, at most `timeout`.
    std::optional<std::string>
    wait_for_line(const line_test& test, std::chrono::seconds timeout = std::chrono::seconds(20));
    // Waits until `count` lines pass `test`; false on timeout.
    bool wait_for_lines(const line_test& test, std::size_t count,
                        std::chrono::seconds timeout = std::chrono::seconds(20));
    std::size_t count_lines(const line_test& test) const;

    // Sends `number` without waiting for anything.
    void send_signal(int number) { process_.send_signal(number); }

    // SIGTERM, then waits for the end; the exit code, or empty when it did
    // not end in time (it is killed then).
    std::optional<int> stop();

    // Waits for the end without asking for it; the exit code, or empty
    // when it still runs after `timeout`.
    std::optional<int> wait_for_exit(std::chrono::milliseconds timeout);

private:
    void read_output();

    child_process process_;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    bool ended_ = false;
    int port_ = 0;
    bool stopped_ = false;
};

// Matches an access-log line of a request for `target` with `outcome`.
host_process::line_test access_line_for(const std::string& method, const std::string& target,
                                        const std::string& outcome);

} // namespace quorin::test
