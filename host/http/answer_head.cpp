#include "http/answer_head.h"

#include <chrono>
#include <cstdint>
#include <string>

#include "base/file_time.h"

namespace quorin::host {
namespace {

// The date shown moves by seconds: made once a second on each thread
// rather than formatted for every answer, which shows in a hit's CPU.
std::string_view current_http_date() {
    thread_local std::int64_t made_for = -1;
    thread_local std::string date;
    const auto now = std::chrono::system_clock::now();
    const std::int64_t second =
        std::chrono::floor<std::chrono::seconds>(now).time_since_epoch().count();
    if (second != made_for) {
        date = http_date(to_file_time(now));
        made_for = second;
    }
    return date;
}

} // namespace

void append_answer_head(std::string& head, std::string_view status_text, bool keep_alive) {
    head.append("HTTP/1.1 ").append(status_text).append("\r\n");
    head.append("Date: ").append(current_http_date()).append("\r\n");
    head.append(keep_alive ? "Connection: keep-alive\r\n" : "Connection: close\r\n");
    // No answer is to be read as another type than it names.
    head.append("X-Content-Type-Options: nosniff\r\n");
}

} // namespace quorin::host
