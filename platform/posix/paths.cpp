#include "platform/paths.h"

namespace quorin::platform {

bool is_absolute_path(std::string_view value) {
    return !value.empty() && value.front() == path_separator;
}

std::string remove_file_spec(std::string_view file_path) {
    const auto separator = file_path.rfind(path_separator);
    if (separator == std::string_view::npos) return {};
    if (separator == 0) return std::string(1, path_separator);
    return std::string(file_path.substr(0, separator));
}

} // namespace quorin::platform
