#include "access_log.h"

#include <cstdio>

namespace quorin::host {
namespace {

// A request path is client text: control characters and blanks would let
// it forge or split log lines.
std::string printable(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f') c = '?';
    }
    return result;
}

} // namespace

std::string access_line(std::string_view method, std::string_view target, int status,
                        std::uint64_t body_bytes, std::string_view outcome,
                        std::chrono::steady_clock::duration time) {
    char milliseconds[32];
    std::snprintf(milliseconds, sizeof milliseconds, "%.3fms",
                  std::chrono::duration<double, std::milli>(time).count());
    return printable(method) + ' ' + printable(target) + ' ' + std::to_string(status) + ' ' +
           std::to_string(body_bytes) + ' ' + std::string(outcome) + ' ' + milliseconds;
}

void access_log::write(const std::string& line) {
    if (!enabled_) return;
    const std::lock_guard lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace quorin::host
