// The one conversion from the module's narrow texts to UTF-16.
#pragma once

#include <string>
#include <string_view>

#include "platform/wide_string.h"

namespace quorin {

// Decodes UTF-8 up to the first zero byte; invalid bytes become U+FFFD.
wide_string utf8_to_utf16(std::string_view text);

} // namespace quorin
