// The image-library table every module's FreeImageAPI slot points at.
#pragma once

#include "trelvane_module.h"

namespace quorin::host {

inline constexpr int image_library_table_size = 64;

// The one table, built on first use and valid for the life of the process.
// Positions the modules use hold the library's functions; position 52
// holds the host's UTF-16 path variant of the file-type lookup; every
// other position is null.
FreeImageFunction* image_library_table();

// Position 52: the format the file's content shows, or -1: for a cache
// file the host named, the format its name holds; for any other, the
// library's own answer (its wide-path lookup exists on Windows only, so the
// path goes to it as UTF-8), found through the faster stream of
// file_type_of and remembered per version of the file.
// The size hint is unused, as the library leaves it unused.
extern "C" int file_type_of_utf16_path(const char16_t* path, int size);

} // namespace quorin::host
