#include "module/utf8_to_utf16.h"

#include "platform/text.h"

namespace quorin {

wide_string utf8_to_utf16(std::string_view text) { return platform::decode_utf8(text); }

} // namespace quorin
