// The request path of the module in-process: a cache hit next to a bare
// open+read+close of the same file, a miss (store + serve), naming and
// header building.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <unistd.h>

#include "cache/cache_tree.h"
#include "cache/image_library.h"
#include "cache/image_output.h"
#include "cache/response_header.h"
#include "platform/filetime.h"
#include "platform/text.h"
#include "support/cache_fixture.h"

namespace {

using quorin::CImageOutput;

constexpr std::size_t image_size = 30 * 1024;
const FILETIME source_time = quorin::platform::to_FILETIME(134'120'558'491'234'567ull);

BOOL discard_body(HCONN, void*, DWORD*, DWORD) { return 1; }
BOOL discard_header(HCONN, DWORD, void*, DWORD*, DWORD*) { return 1; }

EXTENSION_CONTROL_BLOCK discarding_request(const char* method) {
    EXTENSION_CONTROL_BLOCK request{};
    request.lpszMethod = const_cast<char*>(method);
    request.WriteClient = &discard_body;
    request.ServerSupportFunction = &discard_header;
    return request;
}

// Position 52 as a host with a fast format check does it: open the file,
// read its first bytes, close. The test fake's own detection goes through
// std::ifstream, whose set-up and 8 KiB buffer fill would be charged to the
// module here.
int detect_from_head(const TrelvaneChar* path, int) {
    const int fd = ::open(quorin::platform::encode_utf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char head[quorin::test::format_head_size];
    const ssize_t count = ::read(fd, head, sizeof head);
    ::close(fd);
    return count < 0 ? -1
                     : quorin::test::format_of_head(
                           std::string_view(head, static_cast<std::size_t>(count)));
}

// A position 52 that touches no file: what the module costs by itself.
int always_jpeg(const TrelvaneChar*, int) { return quorin::test::format_jpeg; }

// The fake image library with another position 52, in the slot while it
// lives.
class library_detecting_with {
public:
    explicit library_detecting_with(int (*file_type)(const TrelvaneChar*, int))
        : previous_(FreeImageAPI) {
        std::copy_n(quorin::test::fake_image_table(), table_.size(), table_.begin());
        table_[FreeImageAPI_GetFileTypeU] = reinterpret_cast<FreeImageFunction>(file_type);
        FreeImageAPI = table_.data();
    }
    ~library_detecting_with() { FreeImageAPI = previous_; }

private:
    std::array<FreeImageFunction, 64> table_{};
    FreeImageFunction* previous_;
};

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

void serve_hits(benchmark::State& state) {
    EXTENSION_CONTROL_BLOCK request = discarding_request("GET");
    for (auto _ : state) {
        CImageOutput output(&request);
        output.SetCacheKey(u"C:\\images\\photo.jpg", &source_time);
        if (output.OutputFromCache() != S_OK) state.SkipWithError("miss");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image_size));
    state.SetItemsProcessed(state.iterations());
}

void cache_hit(benchmark::State& state) {
    stored_image stored;
    const library_detecting_with library(&detect_from_head);
    serve_hits(state);
}
BENCHMARK(cache_hit);

// The same hit with the host's share of it taken out.
void cache_hit_without_host_detection(benchmark::State& state) {
    stored_image stored;
    const library_detecting_with library(&always_jpeg);
    serve_hits(state);
}
BENCHMARK(cache_hit_without_host_detection);

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

// The host's share of a hit: position 52 alone, the fast check and the test
// fake's.
void position_52_fast_check(benchmark::State& state) {
    stored_image stored;
    for (auto _ : state) benchmark::DoNotOptimize(detect_from_head(stored.path.c_str(), 0));
}
BENCHMARK(position_52_fast_check);

void position_52_test_fake(benchmark::State& state) {
    stored_image stored;
    for (auto _ : state)
        benchmark::DoNotOptimize(quorin::image_library::file_type(stored.path.c_str()));
}
BENCHMARK(position_52_test_fake);

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
