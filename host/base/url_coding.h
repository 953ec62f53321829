// Percent-decoding of URL paths and query parts: strict, so that every
// reader of a URL (the front, the parameters, the signer) agrees on what
// it says, or refuses it alike.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quorin::host {

// Whether "+" stands for a space, as in a query, or for itself, as in a path.
enum class plus_sign { space, kept };

// Decodes %XX escapes and, as `plus` says, '+'; nullopt for a malformed
// escape (a '%' not followed by two hexadecimal digits).
std::optional<std::string> percent_decode(std::string_view text, plus_sign plus = plus_sign::space);

// A relative path as a URL path ("/a%20b/c.jpg"): every byte but the
// unreserved ones escaped, so that no element can be read as anything but
// a path element.
std::string url_path(const std::filesystem::path& relative);

} // namespace quorin::host
