#include "platform/paths.h"

#include <windows.h>
#include <shlwapi.h>

namespace quorin::platform {

bool is_absolute_path(std::string_view value) {
    return (!value.empty() && value[0] == path_separator) || (value.size() > 1 && value[1] == ':');
}

std::string remove_file_spec(std::string_view file_path) {
    std::string directory(file_path);
    ::PathRemoveFileSpecA(directory.data());
    directory.resize(std::char_traits<char>::length(directory.c_str()));
    return directory;
}

} // namespace quorin::platform
