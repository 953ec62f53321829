#include "cache/image_output.h"

#include <cstdint>
#include <limits>

#include "cache/cache_path.h"
#include "cache/file_time.h"
#include "cache/image_library.h"
#include "cache/request_method.h"
#include "cache/response_header.h"
#include "platform/env.h"

namespace quorin {
namespace {

constexpr std::size_t copy_chunk_size = 4096;

// Sizes travel as 32-bit numbers, and 0xFFFFFFFF means failure, so larger
// files are never answered.
constexpr std::uint64_t largest_servable_size = std::numeric_limits<std::uint32_t>::max() - 1;

void write_client(EXTENSION_CONTROL_BLOCK& request, void* data, std::uint32_t size) {
    DWORD count = size;
    request.WriteClient(request.ConnID, data, &count, 0);
}

} // namespace

HRESULT CImageOutput::SetTime(const FILETIME* time) {
    source_time = *time;
    time_known = true;
    return S_OK;
}

HRESULT CImageOutput::SetCacheKey(const TrelvaneChar* key, const FILETIME* time) {
    make_cache_path(cache_name_of_key(key != nullptr ? wide_string_view(key) : wide_string_view()),
                    cache_path);
    source_time = *time;
    time_known = true;
    return S_OK;
}

HRESULT CImageOutput::Output(FIMEMORY* stream) {
    return cache_path.empty() ? answer_directly(stream) : store_and_serve(stream);
}

HRESULT CImageOutput::store_and_serve(FIMEMORY* stream) {
    platform::env& env = platform::current_env();
    {
        const auto file = env.open_for_writing(cache_path);
        if (!file) return E_FAIL;
        std::uint8_t* data = nullptr;
        std::uint32_t size = 0;
        if (!image_library::acquire_memory(stream, data, size) || !file->write_all(data, size)) {
            return E_FAIL;
        }
        // Stamped while the file is still held exclusively, so that a store
        // that is cut short can never carry the source time and be served.
        if (!file->stamp([&env] { return env.now(); }, to_file_time(source_time))) return E_FAIL;
    }
    return OutputFromCache();
}

HRESULT CImageOutput::answer_directly(FIMEMORY* stream) {
    const int format = image_library::memory_type(stream);
    if (format == image_library::unknown_format) return E_FAIL;
    std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    if (!image_library::acquire_memory(stream, data, size)) return E_FAIL;

    const request_method method = classify_method(request->lpszMethod);
    if (method == request_method::other) return E_FAIL;
    send_header_block(*request, build_header_block(image_library::mime_type(format), size,
                                                   time_known ? &source_time : nullptr));
    if (method == request_method::get) write_client(*request, data, size);
    return S_OK;
}

HRESULT CImageOutput::OutputFromCache() {
    const auto file = platform::current_env().open_for_reading(cache_path);
    if (!file) return E_FAIL;
    platform::file_times times{};
    if (!file->times(times) || times.last_write != to_file_time(source_time)) return E_FAIL;
    const int format = image_library::file_type(cache_path.c_str());
    if (format == image_library::unknown_format) return E_FAIL;
    std::uint64_t size = 0;
    if (!file->size(size) || size > largest_servable_size) return E_FAIL;

    const request_method method = classify_method(request->lpszMethod);
    if (method == request_method::other) return E_FAIL;
    const FILETIME last_modified = to_FILETIME(times.last_write);
    send_header_block(*request,
                      build_header_block(image_library::mime_type(format),
                                         static_cast<std::uint32_t>(size), &last_modified));
    if (method == request_method::get) {
        char buffer[copy_chunk_size];
        for (;;) {
            const std::int64_t count = file->read(buffer, sizeof buffer);
            if (count <= 0) break;
            write_client(*request, buffer, static_cast<std::uint32_t>(count));
        }
    }
    return S_OK;
}

} // namespace quorin
