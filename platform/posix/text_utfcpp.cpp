#include "platform/text.h"

#include <iterator>
#include <utf8.h>

namespace quorin::platform {
namespace {

constexpr char32_t replacement_character = 0xFFFD;

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

} // namespace

std::u16string decode_utf8(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::string valid;
    valid.reserve(text.size());
    utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid));
    std::u16string result;
    result.reserve(valid.size());
    utf8::unchecked::utf8to16(valid.begin(), valid.end(), std::back_inserter(result));
    return result;
}

std::string encode_utf8(std::u16string_view text) {
    std::string result;
    result.reserve(text.size());
    auto out = std::back_inserter(result);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit < 0x80) { // most paths are ASCII throughout
            result += static_cast<char>(unit);
            continue;
        }
        char32_t code_point = unit;
        if (is_high_surrogate(unit) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
            code_point = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (is_high_surrogate(unit) || is_low_surrogate(unit)) {
            code_point = replacement_character;
        }
        utf8::unchecked::append(code_point, out);
    }
    return result;
}

} // namespace quorin::platform
