#include "support/host_process.h"

#include <stdexcept>

#include "support/temp_dir.h"

namespace quorin::test {
namespace {

constexpr auto startup_timeout = std::chrono::seconds(30);
constexpr auto stop_timeout = std::chrono::milliseconds(20'000);

} // namespace

std::string settings_text(const std::string& cache_folder, const std::string& log_file) {
    return "<?xml version='1.0' encoding='UTF-8'?>\n<quorin>\n  <CacheFolderPath>" + cache_folder +
           "</CacheFolderPath>\n  <CacheDeleteTime BaseTime='Creation' Interval='300' "
           "LogFilePath='" +
           log_file + "'>104400</CacheDeleteTime>\n</quorin>\n";
}

std::filesystem::path install_module(const std::filesystem::path& directory,
                                     const std::string& cache_folder) {
    std::filesystem::create_directories(directory);
    const auto module = directory / "quorin.so";
    std::filesystem::copy_file(QUORIN_MODULE_PATH, module,
                               std::filesystem::copy_options::overwrite_existing);
    write_file(directory / "quorin.setting", settings_text(cache_folder));
    return module;
}

finished_run run_host_to_end(const std::vector<std::string>& arguments,
                             std::chrono::seconds timeout) {
    child_process process(QUORIN_HOST_PATH, arguments);
    finished_run run;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!process.output_ended() && std::chrono::steady_clock::now() < deadline) {
        if (auto line = process.read_line(std::chrono::milliseconds(500)))
            run.output += *line + "\n";
    }
    run.exit_code = process.wait(std::chrono::duration_cast<std::chrono::milliseconds>(std::max(
        deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero())));
    return run;
}

host_process::host_process(std::vector<std::string> arguments)
    : process_(QUORIN_HOST_PATH, [&] {
          arguments.push_back("--listen");
          arguments.push_back("127.0.0.1:0");
          return arguments;
      }()) {
    reader_ = std::thread([this] { read_output(); });
    const std::string marker = " at http://127.0.0.1:";
    const auto line = wait_for_line(
        [&](const std::string& text) { return text.find(marker) != std::string::npos; },
        std::chrono::duration_cast<std::chrono::seconds>(startup_timeout));
    if (!line) {
        stop();
        std::string output;
        for (const auto& text : lines_) output += text + "\n";
        throw std::runtime_error("quorin-host did not start:\n" + output);
    }
    port_ = std::stoi(line->substr(line->find(marker) + marker.size()));
}

host_process::~host_process() { stop(); }

void host_process::read_output() {
    while (!process_.output_ended()) {
        auto line = process_.read_line(std::chrono::milliseconds(1000));
        if (!line) continue;
        const std::lock_guard lock(mutex_);
        lines_.push_back(std::move(*line));
        changed_.notify_all();
    }
    const std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

std::string host_process::url(const std::string& path_and_query) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path_and_query;
}

std::optional<std::string> host_process::wait_for_line(const line_test& test,
                                                       std::chrono::seconds timeout) {
    std::unique_lock lock(mutex_);
    std::optional<std::string> found;
    changed_.wait_for(lock, timeout, [&] {
        for (const auto& line : lines_) {
            if (test(line)) {
                found = line;
                return true;
            }
        }
        return ended_;
    });
    return found;
}

bool host_process::wait_for_lines(const line_test& test, std::size_t count,
                                  std::chrono::seconds timeout) {
    std::unique_lock lock(mutex_);
    const auto enough = [&] {
        std::size_t matching = 0;
        for (const auto& line : lines_) matching += test(line) ? 1 : 0;
        return matching >= count;
    };
    changed_.wait_for(lock, timeout, [&] { return enough() || ended_; });
    return enough();
}

std::size_t host_process::count_lines(const line_test& test) const {
    const std::lock_guard lock(mutex_);
    std::size_t matching = 0;
    for (const auto& line : lines_) matching += test(line) ? 1 : 0;
    return matching;
}

std::optional<int> host_process::stop() {
    if (stopped_) return std::nullopt;
    stopped_ = true;
    process_.terminate();
    const auto code = process_.wait(stop_timeout);
    // Killed when it did not stop in time, so that its output ends and the
    // reader finishes.
    if (!code) process_.kill();
    reader_.join();
    return code;
}

std::optional<int> host_process::wait_for_exit(std::chrono::milliseconds timeout) {
    if (stopped_) return std::nullopt;
    const auto code = process_.wait(timeout);
    if (code) {
        stopped_ = true;
        reader_.join();
    }
    return code;
}

host_process::line_test access_line_for(const std::string& method, const std::string& target,
                                        const std::string& outcome) {
    // The request line in quotes; the outcome right after the quoted user
    // agent, which ends the combined format.
    const std::string request_line = "\"" + method + " " + target + " HTTP/";
    return [request_line, outcome](const std::string& line) {
        return line.find(request_line) != std::string::npos &&
               line.find("\" " + outcome + " ") != std::string::npos;
    };
}

} // namespace quorin::test
