// The primary picture of a HEIF-container file (AVIF, HEIC), decoded with
// libheif: turned and mirrored as the container says, 8 bits a channel
// whatever the depth coded, its alpha kept and its ICC profile attached.
#pragma once

#include <FreeImage.h>

namespace quorin::host {

// Reads the file through the library's stream `io` from its current
// position. With `header_only`, a bitmap without pixels that tells the
// picture's size as shown and its depth once decoded. Null when the file
// cannot be read.
FIBITMAP* decode_heif(FreeImageIO* io, fi_handle handle, bool header_only);

} // namespace quorin::host
