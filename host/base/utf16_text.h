// The host's conversions between UTF-8 (file names, URLs) and the UTF-16
// texts of the module contract (cache keys, cache file paths).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorin::host {

// Bytes that are not valid UTF-8 become U+FFFD.
std::u16string to_utf16(std::string_view text);

// nullopt for text that is not valid UTF-16 (an unpaired surrogate).
std::optional<std::string> to_utf8(std::u16string_view text);
// The same appended to `out`; false, with `out` as it was, for text that
// is not valid UTF-16.
bool append_utf8(std::string& out, std::u16string_view text);

} // namespace quorin::host
