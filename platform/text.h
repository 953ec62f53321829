// Conversions between the module's narrow (UTF-8) and UTF-16 texts.
#pragma once

#include <string>
#include <string_view>

#include "platform/wide_string.h"

namespace quorin::platform {

// Decodes UTF-8 up to the first zero byte; invalid sequences become U+FFFD.
wide_string decode_utf8(std::string_view text);

// Encodes UTF-16 as UTF-8; unpaired surrogates become U+FFFD.
std::string encode_utf8(wide_string_view text);
// The same, appended to `out`.
void append_utf8(std::string& out, wide_string_view text);

} // namespace quorin::platform
