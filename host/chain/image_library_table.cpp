#include "chain/image_library_table.h"

#include <FreeImage.h>
#include <array>
#include <chrono>

#include "base/utf16_text.h"
#include "imaging/file_type_check.h"
#include "imaging/heif_formats.h"
#include "imaging/image_codec.h"
#include "variant/cache_name_formats.h"

namespace quorin::host {

extern "C" int file_type_of_utf16_path(const char16_t* path, int) {
    // The module asks for its cache file on every hit: one the host named
    // is told by its name, with no system call.
    if (const auto named = format_of_cache_name(cache_name_in(path))) return library_format(*named);
    // Any other file by its content, remembered per version.
    static file_memo<int> cache_file_types(1024);
    const auto now = std::chrono::system_clock::now();
    const auto narrow = to_utf8(path);
    return narrow ? file_type_of(*narrow, cache_file_types, now) : FIF_UNKNOWN;
}

FreeImageFunction* image_library_table() {
    static std::array<FreeImageFunction, image_library_table_size> table = [] {
        // The library's functions in the table answer for the host's formats
        // too; registered here, as the table is made before the server's
        // threads use the library.
        register_heif_formats();
        std::array<FreeImageFunction, image_library_table_size> filled{};
        filled[FreeImageAPI_AcquireMemory] =
            reinterpret_cast<FreeImageFunction>(&FreeImage_AcquireMemory);
        filled[FreeImageAPI_GetFIFMimeType] =
            reinterpret_cast<FreeImageFunction>(&FreeImage_GetFIFMimeType);
        filled[FreeImageAPI_GetFileTypeU] =
            reinterpret_cast<FreeImageFunction>(&file_type_of_utf16_path);
        filled[FreeImageAPI_GetFileTypeFromMemory] =
            reinterpret_cast<FreeImageFunction>(&FreeImage_GetFileTypeFromMemory);
        return filled;
    }();
    return table.data();
}

} // namespace quorin::host
