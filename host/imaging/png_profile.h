// The ICC profile of a PNG file, which the image library's PNG loader does
// not pass on.
#pragma once

#include <string>

namespace quorin::host::os {
class read_only_file;
}

namespace quorin::host {

// The profile in the file's iCCP chunk, uncompressed; empty when there is
// none, it is damaged, or the file is not a PNG one.
std::string png_icc_profile(const os::read_only_file& file);

} // namespace quorin::host
