// The leading hexadecimal digits of a text's SHA-256, for names and tags
// that must change whenever the text does.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorin::host {

// Appends `digits` lower-case digits, at most 64, to `out`.
void append_sha256_hex(std::string& out, std::string_view text, std::size_t digits);

} // namespace quorin::host
