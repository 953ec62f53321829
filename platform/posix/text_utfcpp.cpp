#include "platform/text.h"

#include <algorithm>
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
    append_utf8(result, text);
    return result;
}

void append_utf8(std::string& out, std::u16string_view text) {
    out.reserve(out.size() + text.size());
    // Most paths are ASCII throughout: that part narrows unit by unit.
    const auto ascii_end =
        std::find_if(text.begin(), text.end(), [](char16_t unit) { return unit >= 0x80; });
    out.append(text.begin(), ascii_end);
    auto end = std::back_inserter(out);
    for (auto i = static_cast<std::size_t>(ascii_end - text.begin()); i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit < 0x80) {
            out += static_cast<char>(unit);
            continue;
        }
        char32_t code_point = unit;
        if (is_high_surrogate(unit) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
            code_point = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (is_high_surrogate(unit) || is_low_surrogate(unit)) {
            code_point = replacement_character;
        }
        utf8::unchecked::append(code_point, end);
    }
}

} // namespace quorin::platform
