// The host contract of a Trelvane conversion module.
//
// A host includes this header, loads the module (quorin.dll with
// LoadLibrary on Windows, quorin.so with dlopen on Linux), fills the slots
// (OnConvertNext, OnConvertWithTimeNext, OnConvertCoreNext, FreeImageAPI),
// calls Loaded, then the conversion entries from any number of threads, and
// Unloaded before it lets the module go.
//
// On Windows the platform's own types are used (windows.h, httpext.h). On
// Linux the same names are defined here with the same layout: HRESULT and
// BOOL int32_t, DWORD uint32_t, HCONN void*.
#ifndef TRELVANE_MODULE_H
#define TRELVANE_MODULE_H

#include <cstdint>

#ifdef _WIN32

#include <windows.h>
#include <httpext.h>

// A code unit of the UTF-16 texts of the contract (keys and paths).
using TrelvaneChar = wchar_t;

#else

using TrelvaneChar = char16_t;

using HRESULT = std::int32_t;
using BOOL = std::int32_t;
using DWORD = std::uint32_t;
using HCONN = void*;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);

// 100-nanosecond intervals since 1601-01-01 00:00 UTC, split in two halves.
struct FILETIME {
    std::uint32_t dwLowDateTime;
    std::uint32_t dwHighDateTime;
};

inline constexpr DWORD HSE_REQ_SEND_RESPONSE_HEADER = 3;

// ISAPI request record, members in ISAPI order.
struct EXTENSION_CONTROL_BLOCK {
    DWORD cbSize;
    DWORD dwVersion;
    HCONN ConnID;
    DWORD dwHttpStatusCode;
    char lpszLogData[80];
    char* lpszMethod;
    char* lpszQueryString;
    char* lpszPathInfo;
    char* lpszPathTranslated;
    DWORD cbTotalBytes;
    DWORD cbAvailable;
    std::uint8_t* lpbData;
    char* lpszContentType;
    BOOL (*GetServerVariable)(HCONN conn, char* name, void* buffer, DWORD* size);
    BOOL (*WriteClient)(HCONN conn, void* buffer, DWORD* bytes, DWORD flags);
    BOOL (*ReadClient)(HCONN conn, void* buffer, DWORD* size);
    // For HSE_REQ_SEND_RESPONSE_HEADER: the status text in `buffer`, the
    // NUL-terminated header block (cast) in `data_type`.
    // clang-format off
    BOOL (*ServerSupportFunction)(HCONN conn, DWORD request, void* buffer, DWORD* size,
                                  DWORD* data_type);
    // clang-format on
};

#endif

// The image library's memory stream; the module only passes it back to the
// library through the FreeImageAPI table.
struct FIMEMORY;

namespace NTrelvaneModule {

// Output interfaces the host's converter calls. Plain abstract classes: no
// virtual destructor, the converter neither owns nor frees the object.
class IImageOutput {
public:
    virtual HRESULT Output(FIMEMORY* stream) = 0;

protected:
    ~IImageOutput() = default;
};

class IImageOutputWithTime : public IImageOutput {
public:
    virtual HRESULT SetTime(const FILETIME* source_time) = 0;

protected:
    ~IImageOutputWithTime() = default;
};

class IImageOutputCached : public IImageOutput {
public:
    virtual HRESULT SetCacheKey(const TrelvaneChar* key, const FILETIME* source_time) = 0;
    virtual HRESULT OutputFromCache() = 0;

protected:
    ~IImageOutputCached() = default;
};

class IImageOutputWithTimeCached : public IImageOutputWithTime, public IImageOutputCached {
protected:
    ~IImageOutputWithTimeCached() = default;
};

} // namespace NTrelvaneModule

// The image-library table: FreeImageAPI points at an array of function
// pointers; the module calls these positions only.
using FreeImageFunction = void (*)();

inline constexpr int FreeImageAPI_AcquireMemory = 18;
inline constexpr int FreeImageAPI_GetFIFMimeType = 33;
inline constexpr int FreeImageAPI_GetFileTypeU = 52;
inline constexpr int FreeImageAPI_GetFileTypeFromMemory = 54;

using FreeImage_AcquireMemory_t = int (*)(FIMEMORY* stream, std::uint8_t** data,
                                          std::uint32_t* size);
using FreeImage_GetFIFMimeType_t = const char* (*)(int format);
using FreeImage_GetFileTypeU_t = int (*)(const TrelvaneChar* path, int size);
using FreeImage_GetFileTypeFromMemory_t = int (*)(FIMEMORY* stream, int size);

// Types of the exported functions and slots, for hosts that look them up.
using Loaded_t = bool (*)();
using Unloaded_t = bool (*)();
using OnConvert_t = bool (*)(EXTENSION_CONTROL_BLOCK* request, std::uint64_t a, std::uint64_t b,
                             std::uint64_t c);
using OnConvertWithTime_t = OnConvert_t;
using OnConvertNext_t = bool (*)(EXTENSION_CONTROL_BLOCK* request, std::uint64_t a, std::uint64_t b,
                                 std::uint64_t c, NTrelvaneModule::IImageOutputCached* output);
using OnConvertWithTimeNext_t = bool (*)(EXTENSION_CONTROL_BLOCK* request, std::uint64_t a,
                                         std::uint64_t b, std::uint64_t c,
                                         NTrelvaneModule::IImageOutputWithTimeCached* output);
// OnConvertCore forwards every argument and the result of the host's own
// core-converter signature; call it through a pointer of that signature.
using OnConvertCore_t = void (*)();

extern "C" {
extern FreeImageFunction* FreeImageAPI;
extern OnConvertNext_t OnConvertNext;
extern OnConvertWithTimeNext_t OnConvertWithTimeNext;
extern void* OnConvertCoreNext;
extern const unsigned char ModuleID[16];

bool Loaded();
bool Unloaded();
bool OnConvert(EXTENSION_CONTROL_BLOCK* request, std::uint64_t a, std::uint64_t b, std::uint64_t c);
bool OnConvertWithTime(EXTENSION_CONTROL_BLOCK* request, std::uint64_t a, std::uint64_t b,
                       std::uint64_t c);
void OnConvertCore();
}

#endif
