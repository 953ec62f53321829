#include "base/url_coding.h"

#include "base/hex_digit.h"

namespace quorin::host {

std::optional<std::string> percent_decode(std::string_view text, plus_sign plus) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+' && plus == plus_sign::space) {
            decoded.push_back(' ');
        } else if (text[i] != '%') {
            decoded.push_back(text[i]);
        } else {
            if (i + 2 >= text.size()) return std::nullopt;
            const int high = hex_value(text[i + 1]);
            const int low = hex_value(text[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            decoded.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        }
    }
    return decoded;
}

std::string url_path(const std::filesystem::path& relative) {
    std::string result;
    for (const auto& element : relative) {
        result += '/';
        for (const char c : element.string()) {
            const auto byte = static_cast<unsigned char>(c);
            const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                               (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                               c == '~';
            if (plain) {
                result += c;
            } else {
                result += '%';
                result += upper_hex_digit(byte >> 4);
                result += upper_hex_digit(byte);
            }
        }
    }
    return result;
}

} // namespace quorin::host
