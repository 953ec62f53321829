#include "base/utf16_text.h"

#include <algorithm>
#include <iterator>
#include <utf8.h>

namespace quorin::host {

std::u16string to_utf16(std::string_view text) {
    // ASCII, as nearly every path is, widens unit by unit.
    if (std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; }))
        return std::u16string(text.begin(), text.end());
    std::u16string result;
    result.reserve(text.size());
    // Valid text needs no repaired copy.
    if (utf8::find_invalid(text.begin(), text.end()) == text.end()) {
        utf8::unchecked::utf8to16(text.begin(), text.end(), std::back_inserter(result));
        return result;
    }
    std::string valid;
    utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid));
    utf8::unchecked::utf8to16(valid.begin(), valid.end(), std::back_inserter(result));
    return result;
}

std::optional<std::string> to_utf8(std::u16string_view text) {
    std::string result;
    result.reserve(text.size());
    if (!append_utf8(result, text)) return std::nullopt;
    return result;
}

bool append_utf8(std::string& out, std::u16string_view text) {
    const std::size_t start = out.size();
    // An ASCII start, the whole of nearly every key, is copied as it is.
    const auto ascii_end =
        std::find_if(text.begin(), text.end(), [](char16_t unit) { return unit >= 0x80; });
    out.append(text.begin(), ascii_end);
    try {
        utf8::utf16to8(ascii_end, text.end(), std::back_inserter(out));
    } catch (const utf8::exception&) {
        out.resize(start);
        return false;
    }
    return true;
}

} // namespace quorin::host
