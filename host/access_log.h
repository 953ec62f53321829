// One line per answered request on standard output:
//   GET /photo.jpg?w=320 200 18342 stored 12.408ms
// method, path with query, status, body bytes, cache outcome (hit, stored,
// direct, or - for answers that involve no image) and the time taken.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace quorin::host {

std::string access_line(std::string_view method, std::string_view target, int status,
                        std::uint64_t body_bytes, std::string_view outcome,
                        std::chrono::steady_clock::duration time);

class access_log {
public:
    explicit access_log(bool enabled) : enabled_(enabled) {}
    bool enabled() const { return enabled_; }
    // Writes one line and flushes it, so that a reader on a pipe sees it now.
    void write(const std::string& line);

private:
    bool enabled_;
    std::mutex mutex_;
};

} // namespace quorin::host
