// Calls into the host's image library through the FreeImageAPI table. The
// slot is read afresh at every call.
#pragma once

#include <cstdint>

#include "trelvane_module.h"

namespace quorin::image_library {

inline constexpr int unknown_format = -1;

template <typename Function>
Function function_at(int position) {
    return reinterpret_cast<Function>(FreeImageAPI[position]);
}

inline bool acquire_memory(FIMEMORY* stream, std::uint8_t*& data, std::uint32_t& size) {
    return function_at<FreeImage_AcquireMemory_t>(FreeImageAPI_AcquireMemory)(stream, &data,
                                                                              &size) != 0;
}

// The MIME type of a format; a type the library does not name is sent as
// generic binary content.
inline const char* mime_type(int format) {
    const char* type = function_at<FreeImage_GetFIFMimeType_t>(FreeImageAPI_GetFIFMimeType)(format);
    return type != nullptr ? type : "application/octet-stream";
}

inline int file_type(const TrelvaneChar* path) {
    return function_at<FreeImage_GetFileTypeU_t>(FreeImageAPI_GetFileTypeU)(path, 0);
}

inline int memory_type(FIMEMORY* stream) {
    return function_at<FreeImage_GetFileTypeFromMemory_t>(FreeImageAPI_GetFileTypeFromMemory)(
        stream, 0);
}

} // namespace quorin::image_library
