#include "telemetry/access_log.h"

#include <stdexcept>

#include "base/file_time.h"
#include "base/hex_digit.h"
#include "http/http_request.h"

namespace quorin::host {
namespace {

// Client text goes between quotes or blanks: bytes outside printable
// ASCII (line breaks, U+2028, U+0085, U+202E and any other), quotes,
// backslashes and, outside quotes, blanks are written as \xHH, so that
// no reader of the log is shown a forged field or line.
std::string printable(std::string_view text, bool quoted) {
    if (text.empty()) return "-";
    std::string result;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < ' ' || byte > '~' || c == '"' || c == '\\' || (!quoted && c == ' ')) {
            result += "\\x";
            result += upper_hex_digit(byte >> 4);
            result += upper_hex_digit(byte);
        } else {
            result += c;
        }
    }
    return result;
}

std::string clf_time(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto time = floor<seconds>(when);
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};
    char text[40];
    std::snprintf(text, sizeof text, "[%02u/%s/%04d:%02d:%02d:%02d +0000]",
                  static_cast<unsigned>(date.day()), month_name(date.month()).data(),
                  static_cast<int>(date.year()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

std::FILE* open_for_append(const std::filesystem::path& file) {
    return std::fopen(file.c_str(), "a");
}

} // namespace

std::string access_line(const http_request& request, std::chrono::system_clock::time_point when,
                        int status, std::uint64_t body_bytes, std::string_view outcome,
                        std::chrono::steady_clock::duration time) {
    const std::string target =
        request.query.empty() ? request.path : request.path + '?' + request.query;
    // Without a version when none was read, as of a request line cut short.
    const std::string request_line =
        request.method + ' ' + target + (request.version.empty() ? "" : ' ' + request.version);
    char milliseconds[32];
    std::snprintf(milliseconds, sizeof milliseconds, "%.3fms",
                  std::chrono::duration<double, std::milli>(time).count());
    return printable(request.client_address, false) + " - - " + clf_time(when) + " \"" +
           printable(request_line, true) + "\" " + std::to_string(status) + ' ' +
           (body_bytes == 0 ? std::string("-") : std::to_string(body_bytes)) + " \"" +
           printable(request.referer, true) + "\" \"" + printable(request.user_agent, true) +
           "\" " + std::string(outcome) + ' ' + milliseconds;
}

access_log::access_log(bool enabled, std::filesystem::path file)
    : enabled_(enabled), file_(std::move(file)) {
    if (!enabled_ || file_.empty()) return;
    stream_ = open_for_append(file_);
    if (stream_ == nullptr)
        throw std::runtime_error("cannot open access log " + file_.string() + " for appending");
}

access_log::~access_log() {
    if (stream_ != stdout && stream_ != nullptr) std::fclose(stream_);
}

void access_log::write(const std::string& line) {
    if (!enabled_) return;
    const std::lock_guard lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), stream_);
    std::fputc('\n', stream_);
    std::fflush(stream_);
}

bool access_log::reopen() {
    if (!enabled_ || file_.empty()) return true;
    std::FILE* fresh = open_for_append(file_);
    if (fresh == nullptr) return false;
    const std::lock_guard lock(mutex_);
    std::fclose(stream_);
    stream_ = fresh;
    return true;
}

} // namespace quorin::host
