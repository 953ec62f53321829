// The HEIF container's picture formats, taught to the image library
// through its plugin interface: every path that asks the library (a file's
// or a stream's format, a format's MIME type, reading a header or the
// pixels, writing) then knows them as it knows its own, the module's
// table of library functions among them.
#pragma once

namespace quorin::host {

// Registers the formats on the first call; later calls do nothing. The
// library hands out codes of its own past those of its built-in formats.
// Called before other threads use the library, as registering changes its
// list of formats.
void register_heif_formats();

// The library's code for AVIF (AV1 pictures), registering the formats
// first.
int avif_format();

// The library's code for HEIF (HEVC pictures, HEIC, and the container's
// generic brands), read only, registering the formats first.
int heif_format();

} // namespace quorin::host
