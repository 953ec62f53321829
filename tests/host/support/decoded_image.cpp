#include "support/decoded_image.h"

#include <FreeImage.h>

namespace quorin::test {

decoded_image decode(const std::string& bytes) {
    decoded_image result;
    FIMEMORY* stream =
        FreeImage_OpenMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())), static_cast<DWORD>(bytes.size()));
    if (stream == nullptr) return result;
    const FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromMemory(stream, 0);
    if (format != FIF_UNKNOWN) {
        if (FIBITMAP* image = FreeImage_LoadFromMemory(format, stream, 0)) {
            result = {static_cast<int>(format), FreeImage_GetWidth(image), FreeImage_GetHeight(image),
                      FreeImage_GetBPP(image)};
            FreeImage_Unload(image);
        }
    }
    FreeImage_CloseMemory(stream);
    return result;
}

} // namespace quorin::test
