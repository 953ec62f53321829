// One line per answered request in the Combined Log Format, followed by
// the cache outcome and the time taken:
//   127.0.0.1 - - [09/Dec/2026:05:13:43 +0000] "GET /a.jpg?w=320 HTTP/1.1" 200 18342
//   "-" "curl/8.0" stored 12.408ms
// (one line). The outcome is hit, stored, direct, 304, or - for answers
// that involve no image. Written to standard output or to a file, which
// reopen() opens anew after a log rotation.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

namespace quorin::host {

struct http_request;

std::string access_line(const http_request& request, std::chrono::system_clock::time_point when,
                        int status, std::uint64_t body_bytes, std::string_view outcome,
                        std::chrono::steady_clock::duration time);

class access_log {
public:
    // `file` empty: standard output. Throws when the file cannot be opened.
    access_log(bool enabled, std::filesystem::path file = {});
    ~access_log();
    access_log(const access_log&) = delete;
    access_log& operator=(const access_log&) = delete;

    bool enabled() const { return enabled_; }
    // Writes one line and flushes it, so that a reader on a pipe sees it now.
    void write(const std::string& line);
    // Closes and opens the file again (appending); false when that failed,
    // and then the old file stays in use.
    bool reopen();

private:
    bool enabled_;
    std::filesystem::path file_;
    std::FILE* stream_ = stdout;
    std::mutex mutex_;
};

} // namespace quorin::host
