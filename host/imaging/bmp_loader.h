// BMP files loaded as browsers show them: those whose info header the
// image library refuses through their head rewritten (bmp_header.h), with
// a V5 header's ICC profile attached.
#pragma once

#include <FreeImage.h>

namespace quorin::host::os {
class read_only_file;
}

namespace quorin::host {

// Loads the BMP `source` with the library's `flags` (FIF_LOAD_NOPIXELS for
// the header alone); null when it cannot. 32-bit pixels whose every alpha
// byte is 0 are opaque, as browsers show them: that byte is unused there.
FIBITMAP* load_bmp(const os::read_only_file& source, int flags);

} // namespace quorin::host
