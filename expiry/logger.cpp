#include "expiry/logger.h"

#include <cstdio>

#include "platform/env.h"
#include "platform/hex_digit.h"

namespace quorin {
namespace {

// "YYYY/MM/DD hh:mm:ss " in local time; the year has at least four digits.
std::string time_stamp() {
    const platform::local_time time = platform::current_env().local_now();
    char buffer[96];
    const int length =
        std::snprintf(buffer, sizeof buffer, "%04d/%02d/%02d %02d:%02d:%02d ", time.year,
                      time.month, time.day, time.hour, time.minute, time.second);
    return std::string(buffer, static_cast<std::size_t>(length));
}

bool is_control_byte(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

void append_escaped(std::string& line, std::string_view text) {
    for (const char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if (is_control_byte(byte)) {
            line += "\\x";
            line += platform::upper_hex_digit(byte >> 4);
            line += platform::upper_hex_digit(byte);
        } else {
            line += character;
        }
    }
}

} // namespace

logger::logger(const std::string& path, bool enabled) {
    if (enabled) stream = std::make_unique<std::ofstream>(path, std::ios::out | std::ios::app);
}

void logger::write(std::string_view text) {
    if (!stream) return;
    std::string line = time_stamp();
    append_escaped(line, text);
    line += '\n';
    *stream << line;
    stream->flush();
}

} // namespace quorin
