// Turning a setting value into a full path.
#pragma once

#include <string>
#include <string_view>

namespace quorin {

// An absolute value is returned unchanged; any other value is joined to the
// module directory with exactly one separator, always added. Nothing is
// normalised: "..", "." and repeated separators stay as written.
std::string resolve_path(std::string_view value, std::string_view module_directory);

} // namespace quorin
