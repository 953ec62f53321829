#include "cache/image_output.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "cache/cache_tree.h"
#include "cache/image_library.h"
#include "cache/request_method.h"
#include "cache/response_header.h"
#include "platform/env.h"
#include "platform/filetime.h"
#include "settings/module_settings.h"

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

std::size_t cache_root_length() { return module_settings.cache_root_wide.size(); }

// With BaseTime LastAccess a hit must move the file's last-access time, which
// the file system alone does not do reliably: on relatime mounts Linux moves
// it at most once a day once it is later than the last-write time (always so
// for a cache file, which carries the source's), and NTFS may not move it at
// all. It is set only when it lags the clock by more than a minute or a
// sixty-fourth of CacheDeleteTime, whichever is more, so most hits cost no
// extra call. Never with BaseTime Creation: on Linux setting a time moves the
// status-change time, which stands for the creation time there.
void keep_last_access_current(platform::readable_file& file, platform::file_time last_access,
                              platform::env& env) {
    if (module_settings.base_time != base_time_kind::last_access) return;
    const std::int64_t allowed_lag_seconds =
        std::max<std::int64_t>(60, module_settings.cache_delete_time / 64);
    const platform::file_time now = env.now();
    if (now <= last_access ||
        now - last_access <=
            static_cast<platform::file_time>(allowed_lag_seconds) * platform::ticks_per_second) {
        return;
    }
    // A time that cannot be set leaves the file to the file system's own
    // rule; the answer does not depend on it.
    file.set_last_access(now);
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
        const auto file = env.open_for_writing(cache_path, cache_root_length());
        if (!file) return E_FAIL;
        std::uint8_t* data = nullptr;
        std::uint32_t size = 0;
        if (!image_library::acquire_memory(stream, data, size) || !file->write_all(data, size)) {
            return E_FAIL;
        }
        // Stamped while the file is still held exclusively, so that a store
        // that is cut short can never carry the source time and be served.
        if (!file->stamp([&env] { return env.now(); }, platform::to_file_time(source_time)))
            return E_FAIL;
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
    platform::env& env = platform::current_env();
    const auto file = env.open_for_reading(cache_path, cache_root_length());
    if (!file) return E_FAIL;
    platform::file_times times{};
    if (!file->times(times) || times.last_write != platform::to_file_time(source_time))
        return E_FAIL;
    const int format = image_library::file_type(cache_path.c_str());
    if (format == image_library::unknown_format) return E_FAIL;
    std::uint64_t size = 0;
    if (!file->size(size) || size > largest_servable_size) return E_FAIL;

    const request_method method = classify_method(request->lpszMethod);
    if (method == request_method::other) return E_FAIL;
    const FILETIME last_modified = platform::to_FILETIME(times.last_write);
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
    // Last, so that no read of the file system's own comes after it.
    keep_last_access_current(*file, times.last_access, env);
    return S_OK;
}

} // namespace quorin
