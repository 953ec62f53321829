// CImageOutput: the output object handed down the conversion chain for one
// request. It names the cache entry, answers from the cache when the entry
// is current, and stores a freshly converted image before answering from it.
#pragma once

#include "platform/wide_string.h"
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
    HRESULT SetCacheKey(const TrelvaneChar* key, const FILETIME* time) override;
    HRESULT OutputFromCache() override;

    const wide_string& path() const { return cache_path; }

private:
    HRESULT store_and_serve(FIMEMORY* stream);
    HRESULT answer_directly(FIMEMORY* stream);

    EXTENSION_CONTROL_BLOCK* const request;
    wide_string cache_path;
    FILETIME source_time{};
    bool time_known = false;
};

} // namespace quorin
