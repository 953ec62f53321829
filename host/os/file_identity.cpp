#include "os/file_identity.h"

#include "os/file_status.h"

namespace quorin::host::os {

std::optional<file_identity> identity_of_regular(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return identity_if_regular(status);
}

} // namespace quorin::host::os
