// The request path of the module in-process: a cache hit next to a bare
// open+read+close of the same file, a miss (store + serve), naming and
// header building.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include "cache/cache_path.h"
#include "cache/file_time.h"
#include "cache/image_output.h"
#include "cache/response_header.h"
#include "platform/text.h"
#include "support/cache_fixture.h"

namespace {

using quorin::CImageOutput;

constexpr std::size_t image_size = 30 * 1024;
const FILETIME source_time = quorin::to_FILETIME(134'120'558'491'234'567ull);

BOOL discard_body(HCONN, void*, DWORD*, DWORD) { return 1; }
BOOL discard_header(HCONN, DWORD, void*, DWORD*, DWORD*) { return 1; }

EXTENSION_CONTROL_BLOCK discarding_request(const char* method) {
    EXTENSION_CONTROL_BLOCK request{};
    request.lpszMethod = const_cast<char*>(method);
    request.WriteClient = &discard_body;
    request.ServerSupportFunction = &discard_header;
    return request;
}

// A cache holding one stored image of image_size bytes.
struct stored_image {
    quorin::test::cache_fixture cache;
    std::u16string path;

    stored_image() {
        EXTENSION_CONTROL_BLOCK request = discarding_request("GET");
        CImageOutput output(&request);
        output.SetCacheKey(u"C:\\images\\photo.jpg", &source_time);
        cache.create_leaf_for(output.path());
        FIMEMORY stream{quorin::test::jpeg_bytes(image_size)};
        if (output.Output(&stream) != S_OK) throw std::runtime_error("cannot store the image");
        path = output.path();
    }
};

void cache_hit(benchmark::State& state) {
    stored_image stored;
    EXTENSION_CONTROL_BLOCK request = discarding_request("GET");
    for (auto _ : state) {
        CImageOutput output(&request);
        output.SetCacheKey(u"C:\\images\\photo.jpg", &source_time);
        if (output.OutputFromCache() != S_OK) state.SkipWithError("miss");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image_size));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(cache_hit);

// The floor for a hit: open, read in 4096-byte pieces, close.
void bare_open_read_close(benchmark::State& state) {
    stored_image stored;
    const std::string path = quorin::platform::encode_utf8(stored.path);
    char buffer[4096];
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        while (::read(fd, buffer, sizeof buffer) > 0) benchmark::DoNotOptimize(buffer);
        ::close(fd);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image_size));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(bare_open_read_close);

void cache_miss_store_and_serve(benchmark::State& state) {
    stored_image stored;
    EXTENSION_CONTROL_BLOCK request = discarding_request("GET");
    FIMEMORY stream{quorin::test::jpeg_bytes(image_size)};
    for (auto _ : state) {
        CImageOutput output(&request);
        output.SetCacheKey(u"C:\\images\\photo.jpg", &source_time);
        if (output.Output(&stream) != S_OK) state.SkipWithError("store failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(cache_miss_store_and_serve);

void make_cache_path(benchmark::State& state) {
    std::u16string path;
    for (auto _ : state) {
        quorin::make_cache_path(u"photo_w320_h240_q85_1a2b3c4d.jpg", path);
        benchmark::DoNotOptimize(path.data());
    }
}
BENCHMARK(make_cache_path);

void header_block_with_date(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(quorin::build_header_block("image/jpeg", 30720, &source_time));
    }
}
BENCHMARK(header_block_with_date);

} // namespace
