// The module's exported slots and its two chain entries.
#include "cache/image_output.h"
#include "trelvane_module.h"

extern "C" {

// Filled by the host before its first conversion call; read afresh at every use.
FreeImageFunction* FreeImageAPI = nullptr;
OnConvertNext_t OnConvertNext = nullptr;
OnConvertWithTimeNext_t OnConvertWithTimeNext = nullptr;
void* OnConvertCoreNext = nullptr;

// 255 in any little-endian width up to 16 bytes.
const unsigned char ModuleID[16] = {0xFF};

// Both entries refuse (return false) while their slot is still empty rather
// than calling through a null pointer.
bool OnConvert(EXTENSION_CONTROL_BLOCK* request, std::uint64_t a, std::uint64_t b,
               std::uint64_t c) {
    const OnConvertNext_t next = OnConvertNext;
    if (next == nullptr) return false;
    quorin::CImageOutput output(request);
    return next(request, a, b, c, static_cast<NTrelvaneModule::IImageOutputCached*>(&output));
}

bool OnConvertWithTime(EXTENSION_CONTROL_BLOCK* request, std::uint64_t a, std::uint64_t b,
                       std::uint64_t c) {
    const OnConvertWithTimeNext_t next = OnConvertWithTimeNext;
    if (next == nullptr) return false;
    quorin::CImageOutput output(request);
    return next(request, a, b, c, &output);
}

} // extern "C"
