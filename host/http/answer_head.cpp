#include "http/answer_head.h"

#include <chrono>

#include "base/file_time.h"

namespace quorin::host {

void append_answer_head(std::string& head, std::string_view status_text, bool keep_alive) {
    head.append("HTTP/1.1 ").append(status_text).append("\r\n");
    head.append("Date: ")
        .append(http_date(to_file_time(std::chrono::system_clock::now())))
        .append("\r\n");
    head.append(keep_alive ? "Connection: keep-alive\r\n" : "Connection: close\r\n");
    // No answer is to be read as another type than it names.
    head.append("X-Content-Type-Options: nosniff\r\n");
}

} // namespace quorin::host
