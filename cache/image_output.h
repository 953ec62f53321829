// CImageOutput: the output object handed down the conversion chain for one
// request. It names the cache entry, answers from the cache when the entry
// is current, and stores a freshly converted image before answering from it.
#pragma once

#include <string>

#include "trelvane_module.h"

namespace quorin {

class CImageOutput final : public NTrelvaneModule::IImageOutputWithTimeCached {
public:
    explicit CImageOutput(EXTENSION_CONTROL_BLOCK* request) : request(request) {}
    CImageOutput(const CImageOutput&) = delete;
    CImageOutput& operator=(const CImageOutput&) = delete;
    ~CImageOutput() = default;

    HRESULT Output(FIMEMORY* stream) override;
    HRESULT SetTime(const FILETIME* time) override;
    HRESULT SetCacheKey(const char16_t* key, const FILETIME* time) override;
    HRESULT OutputFromCache() override;

    const std::u16string& path() const { return cache_path; }

private:
    HRESULT store_and_serve(FIMEMORY* stream);
    HRESULT answer_directly(FIMEMORY* stream);

    EXTENSION_CONTROL_BLOCK* const request;
    std::u16string cache_path;
    FILETIME source_time{};
    bool time_known = false;
};

} // namespace quorin
