// UTF-8 and UTF-16 through the system's code page 65001 conversions.
#include <windows.h>

#include "platform/text.h"

namespace quorin::platform {

wide_string decode_utf8(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (units <= 0) return {};
    wide_string result(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, result.data(), units);
    return result;
}

std::string encode_utf8(wide_string_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string result(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), bytes, nullptr, nullptr);
    return result;
}

void append_utf8(std::string& out, wide_string_view text) { out += encode_utf8(text); }

} // namespace quorin::platform
