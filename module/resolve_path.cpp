#include "module/resolve_path.h"

#include "platform/paths.h"

namespace quorin {

std::string resolve_path(std::string_view value, std::string_view module_directory) {
    if (platform::is_absolute_path(value)) return std::string(value);
    std::string path;
    path.reserve(module_directory.size() + 1 + value.size());
    path.append(module_directory);
    path += platform::path_separator;
    path.append(value);
    return path;
}

} // namespace quorin
