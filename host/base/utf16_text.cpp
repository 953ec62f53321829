#include "base/utf16_text.h"

#include <iterator>
#include <utf8.h>

namespace quorin::host {

std::u16string to_utf16(std::string_view text) {
    std::u16string result;
    result.reserve(text.size());
    // Valid text, as nearly every path is, needs no repaired copy.
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
    try {
        utf8::utf16to8(text.begin(), text.end(), std::back_inserter(result));
    } catch (const utf8::exception&) {
        return std::nullopt;
    }
    return result;
}

} // namespace quorin::host
