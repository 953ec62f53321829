#include <fstream>
#include <gtest/gtest.h>

#include "cache/image_output.h"
#include "expiry/steered_env.h"
#include "platform/filetime.h"
#include "support/cache_fixture.h"
#include "support/native_path.h"
#include "support/wide_text.h"
#include "support/wine.h"

namespace quorin {
namespace {

using test::fake_request;

// 2026-01-05 03:04:09.1234567 UTC: sub-second units must survive storing.
constexpr platform::file_time source_ticks = 134'120'558'491'234'567ull;
const FILETIME source_time = platform::to_FILETIME(source_ticks);
constexpr const char* source_date = "Mon, 05 Jan 2026 03:04:09 GMT";

std::string header(const char* type, std::size_t length, const char* date = source_date) {
    std::string block = std::string("Content-Type: ") + type +
                        "\r\nContent-Length: " + std::to_string(length) + "\r\n";
    if (date != nullptr) block += std::string("Last-Modified: ") + date + "\r\n";
    return block + "\r\n";
}

class ImageOutput : public ::testing::Test {
protected:
    // Stores bytes under key through Output on a GET request.
    HRESULT store(const TrelvaneChar* key, const std::string& bytes, const char* method = "GET",
                  FILETIME time = source_time) {
        fake_request request(method);
        CImageOutput output(request.record());
        output.SetCacheKey(key, &time);
        cache.create_leaf_for(output.path());
        FIMEMORY stream{bytes};
        last = {};
        const HRESULT result = output.Output(&stream);
        last = request.response;
        return result;
    }

    HRESULT serve(const TrelvaneChar* key, const char* method = "GET",
                  FILETIME time = source_time) {
        fake_request request(method);
        CImageOutput output(request.record());
        output.SetCacheKey(key, &time);
        const HRESULT result = output.OutputFromCache();
        last = request.response;
        return result;
    }

    wide_string path_of(const TrelvaneChar* key) {
        fake_request request("GET");
        CImageOutput output(request.record());
        output.SetCacheKey(key, &source_time);
        return output.path();
    }

    static std::size_t root_length() { return module_settings.cache_root_wide.size(); }

    platform::file_times times_of(const TrelvaneChar* key) {
        platform::file_times times{};
        const auto file = platform::current_env().open_for_reading(path_of(key), root_length());
        EXPECT_TRUE(file && file->times(times));
        return times;
    }

    std::string file_content(const TrelvaneChar* key) {
        return test::read_file(test::file_path_of(path_of(key)));
    }

    test::cache_fixture cache;
    test::recorded_response last;
};

TEST_F(ImageOutput, AnswersDirectlyWithoutAKey) {
    const std::string image = test::png_bytes(100);
    for (const char* method : {"GET", "HEAD", "POST"}) {
        fake_request request(method);
        CImageOutput output(request.record());
        FIMEMORY stream{image};
        const HRESULT result = output.Output(&stream);
        const std::string name = method;
        if (name == "POST") {
            EXPECT_EQ(result, E_FAIL);
            EXPECT_EQ(request.response.header_calls, 0);
            continue;
        }
        EXPECT_EQ(result, S_OK) << name;
        EXPECT_EQ(request.response.status, "200 OK");
        // Without a time there is no Last-Modified line.
        EXPECT_EQ(request.response.header_block, header("image/png", 100, nullptr));
        if (name == "GET") {
            EXPECT_EQ(request.response.write_sizes, std::vector<DWORD>{100});
            EXPECT_EQ(request.response.body, image);
        } else {
            EXPECT_TRUE(request.response.write_sizes.empty());
        }
    }
}

TEST_F(ImageOutput, DirectAnswerCarriesTheTimeGivenBySetTime) {
    fake_request request("GET");
    CImageOutput output(request.record());
    output.SetTime(&source_time);
    FIMEMORY stream{test::jpeg_bytes(10)};
    ASSERT_EQ(output.Output(&stream), S_OK);
    EXPECT_EQ(request.response.header_block, header("image/jpeg", 10));
}

TEST_F(ImageOutput, DirectAnswerFailsSilentlyForUnknownContentOrAFailedStream) {
    fake_request request("GET");
    CImageOutput output(request.record());
    FIMEMORY unknown{"plain text"};
    EXPECT_EQ(output.Output(&unknown), E_FAIL);
    FIMEMORY unreadable{test::png_bytes(10), true};
    EXPECT_EQ(output.Output(&unreadable), E_FAIL);
    EXPECT_EQ(request.response.header_calls, 0);
    EXPECT_TRUE(request.response.body.empty());
}

TEST_F(ImageOutput, NamelessFormatIsSentAsBinaryContent) {
    fake_request request("GET");
    CImageOutput output(request.record());
    FIMEMORY stream{"NAMELESS image"};
    ASSERT_EQ(output.Output(&stream), S_OK);
    EXPECT_EQ(request.response.header_block, header("application/octet-stream", 14, nullptr));
}

TEST_F(ImageOutput, StoresStampsAndServesTheSameBytesLaterHitsGet) {
    const std::string image = test::jpeg_bytes(5000);
    ASSERT_EQ(store(WIDE("C:\\images\\photo.jpg"), image), S_OK);
    const test::recorded_response stored = last;

    EXPECT_EQ(stored.header_block, header("image/jpeg", 5000));
    EXPECT_EQ(stored.body, image);
    EXPECT_EQ(stored.write_sizes, (std::vector<DWORD>{4096, 904}));
    EXPECT_EQ(test::file_path_of(path_of(WIDE("photo.jpg"))),
              cache.root() / "6" / "20" / "photo.jpg");
    EXPECT_EQ(file_content(WIDE("photo.jpg")), image);

    EXPECT_EQ(times_of(WIDE("photo.jpg")).last_write, source_ticks);

    ASSERT_EQ(serve(WIDE("/other/dir/photo.jpg")), S_OK);
    EXPECT_EQ(last.header_block, stored.header_block);
    EXPECT_EQ(last.body, stored.body);
}

TEST_F(ImageOutput, StoringSetsTheCreationTimeToTheTimeOfStoring) {
    if (test::running_under_wine()) GTEST_SKIP() << test::wine_has_no_creation_time;
    const platform::file_time before = platform::current_env().now();
    ASSERT_EQ(store(WIDE("created.png"), test::png_bytes(64)), S_OK);
    const platform::file_time after = platform::current_env().now();
    const platform::file_times times = times_of(WIDE("created.png"));
    // The kernel's coarse clock may trail the precise one by a tick.
    EXPECT_GE(times.creation + platform::ticks_per_second, before);
    EXPECT_LE(times.creation, after);
}

// The clock is steered, so whatever the kernel does to the last-access time
// on a read (it can only set the real time) never looks like the module's.
TEST_F(ImageOutput, AHitMovesALaggingLastAccessTimeWithBaseTimeLastAccessOnly) {
    struct hit_case {
        base_time_kind base_time;
        std::int32_t cache_delete_time;
        std::int64_t lag_seconds;
        bool moves;
    };
    const hit_case cases[] = {
        {last_access, 3600, 61, true},     // beyond a minute
        {last_access, 3600, 59, false},    // within a minute
        {last_access, 86400, 1349, false}, // within a sixty-fourth (1350 s)
        {last_access, 86400, 1351, true},
        {last_access, 3600, -3600, false}, // a last access in the future
        {creation, 3600, 7200, false},
    };
    test::steered_env env;
    platform::scoped_env installed{env};
    ASSERT_EQ(store(WIDE("hit.png"), test::png_bytes(64)), S_OK);
    for (const hit_case& c : cases) {
        module_settings.base_time = c.base_time;
        module_settings.cache_delete_time = c.cache_delete_time;
        const platform::file_time clock =
            times_of(WIDE("hit.png")).last_access +
            static_cast<platform::file_time>(c.lag_seconds * platform::ticks_per_second);
        env.fixed_now = clock;
        ASSERT_EQ(serve(WIDE("hit.png")), S_OK);
        EXPECT_EQ(times_of(WIDE("hit.png")).last_access == clock, c.moves)
            << c.cache_delete_time << " s, lag " << c.lag_seconds << " s";
        env.fixed_now.reset();
    }
}

TEST_F(ImageOutput, CopiesInFullChunksWithoutAnEmptyWrite) {
    ASSERT_EQ(store(WIDE("exact.png"), test::png_bytes(8192)), S_OK);
    EXPECT_EQ(last.write_sizes, (std::vector<DWORD>{4096, 4096}));
    ASSERT_EQ(store(WIDE("small.png"), test::png_bytes(20)), S_OK);
    EXPECT_EQ(last.write_sizes, std::vector<DWORD>{20});
}

#ifndef _WIN32
// The settings may name the root through a link; only the two levels below
// it and the file itself must not be links.
TEST_F(ImageOutput, ARootReachedThroughALinkStoresAndServes) {
    const auto link = cache.root().parent_path() / (cache.root().filename().string() + "-link");
    std::filesystem::create_directory_symlink(cache.root(), link);
    module_settings.cache_root_wide = platform::decode_utf8(link.string());
    const std::string image = test::png_bytes(5000);

    const HRESULT stored = store(WIDE("linked.png"), image);
    const HRESULT served = serve(WIDE("linked.png"));
    const std::string file = file_content(WIDE("linked.png"));
    std::filesystem::remove(link);
    ASSERT_EQ(stored, S_OK);
    ASSERT_EQ(served, S_OK);
    EXPECT_EQ(last.header_block, header("image/png", 5000));
    EXPECT_EQ(last.body, image);
    EXPECT_EQ(file, image);
}
#endif

TEST_F(ImageOutput, MethodIsJudgedByItsFirstCharactersOnly) {
    ASSERT_EQ(store(WIDE("m.png"), test::png_bytes(300)), S_OK);
    ASSERT_EQ(serve(WIDE("m.png"), "GETX"), S_OK);
    EXPECT_EQ(last.body.size(), 300u);
    ASSERT_EQ(serve(WIDE("m.png"), "HEADER"), S_OK);
    EXPECT_EQ(last.header_block, header("image/png", 300));
    EXPECT_TRUE(last.body.empty());
    EXPECT_TRUE(last.write_sizes.empty());
    for (const char* method : {"get", "POST", "HEA", ""}) {
        EXPECT_EQ(serve(WIDE("m.png"), method), E_FAIL) << method;
        EXPECT_EQ(last.header_calls, 0);
    }
}

TEST_F(ImageOutput, OtherMethodsStillStoreButSendNothing) {
    EXPECT_EQ(store(WIDE("posted.png"), test::png_bytes(64), "POST"), E_FAIL);
    EXPECT_EQ(last.header_calls, 0);
    EXPECT_EQ(file_content(WIDE("posted.png")), test::png_bytes(64));
    EXPECT_EQ(serve(WIDE("posted.png")), S_OK);
}

TEST_F(ImageOutput, AnEntryOneUnitOffTheSourceTimeIsStale) {
    ASSERT_EQ(store(WIDE("stale.png"), test::png_bytes(64)), S_OK);
    for (const platform::file_time other : {source_ticks - 1, source_ticks + 1}) {
        EXPECT_EQ(serve(WIDE("stale.png"), "GET", platform::to_FILETIME(other)), E_FAIL);
        EXPECT_EQ(last.header_calls, 0);
    }
    // A new source time rewrites the entry.
    const FILETIME newer = platform::to_FILETIME(source_ticks + 1);
    ASSERT_EQ(store(WIDE("stale.png"), test::png_bytes(80), "GET", newer), S_OK);
    EXPECT_EQ(serve(WIDE("stale.png"), "GET", newer), S_OK);
    EXPECT_EQ(last.body.size(), 80u);
}

TEST_F(ImageOutput, FailsWhenNothingServableIsThere) {
    EXPECT_EQ(serve(WIDE("never-stored.png")), E_FAIL);
    // An empty stream stores an empty file that has no format.
    EXPECT_EQ(store(WIDE("empty.png"), ""), E_FAIL);
    EXPECT_EQ(file_content(WIDE("empty.png")), "");
    EXPECT_EQ(last.header_calls, 0);
    // Keys whose name is empty name a leaf directory, which cannot be written.
    EXPECT_EQ(store(WIDE("C:\\images\\"), test::png_bytes(10)), E_FAIL);
    EXPECT_EQ(store(WIDE(""), test::png_bytes(10)), E_FAIL);
    EXPECT_EQ(last.header_calls, 0);
    // Without a key there is nothing to answer from.
    fake_request request("GET");
    CImageOutput output(request.record());
    EXPECT_EQ(output.OutputFromCache(), E_FAIL);
}

TEST_F(ImageOutput, AFailedStreamLeavesNoServableEntry) {
    fake_request request("GET");
    CImageOutput output(request.record());
    output.SetCacheKey(WIDE("broken.png"), &source_time);
    cache.create_leaf_for(output.path());
    FIMEMORY stream{test::png_bytes(10), true};
    EXPECT_EQ(output.Output(&stream), E_FAIL);
    EXPECT_EQ(serve(WIDE("broken.png")), E_FAIL);
}

TEST_F(ImageOutput, AFileBeingWrittenIsNeitherServedNorOverwritten) {
    ASSERT_EQ(store(WIDE("busy.png"), test::png_bytes(50)), S_OK);
    {
        const auto writer =
            platform::current_env().open_for_writing(path_of(WIDE("busy.png")), root_length());
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->write_all("partial", 7));
        EXPECT_EQ(serve(WIDE("busy.png")), E_FAIL);
        EXPECT_EQ(store(WIDE("busy.png"), test::png_bytes(60)), E_FAIL);
        EXPECT_EQ(last.header_calls, 0);
    }
    EXPECT_EQ(file_content(WIDE("busy.png")), "partial");
}

TEST_F(ImageOutput, AFileBeingReadIsServedToOthersButNotOverwritten) {
    ASSERT_EQ(store(WIDE("read.png"), test::png_bytes(50)), S_OK);
    const auto reader =
        platform::current_env().open_for_reading(path_of(WIDE("read.png")), root_length());
    ASSERT_TRUE(reader);
    EXPECT_EQ(serve(WIDE("read.png")), S_OK);
    EXPECT_EQ(store(WIDE("read.png"), test::png_bytes(60)), E_FAIL);
    EXPECT_EQ(file_content(WIDE("read.png")), test::png_bytes(50));
}

TEST_F(ImageOutput, AFileReadEndsAtTheSizeItHadWhenOpened) {
    ASSERT_EQ(store(WIDE("grown.png"), test::png_bytes(50)), S_OK);
    const auto reader =
        platform::current_env().open_for_reading(path_of(WIDE("grown.png")), root_length());
    ASSERT_TRUE(reader);
    // A writer that ignores the lock appends: the announced length holds.
    std::ofstream(test::file_path_of(path_of(WIDE("grown.png"))), std::ios::app) << "tail";
    std::string content;
    char buffer[16];
    for (std::int64_t count; (count = reader->read(buffer, sizeof buffer)) > 0;)
        content.append(buffer, static_cast<std::size_t>(count));
    EXPECT_EQ(content, test::png_bytes(50));
}

// An image's signature, then bytes that differ from one 4096-byte piece to
// the next, so that a piece sent twice or out of order shows.
std::string varied(std::string image, std::size_t step) {
    for (std::size_t i = 8; i < image.size(); ++i) image[i] = static_cast<char>(i * step ^ i >> 12);
    return image;
}

TEST_F(ImageOutput, ALargeFileIsSentWholeAndInOrderInFullChunks) {
    // Well past what a read ahead holds, and not a whole number of chunks.
    const std::string image = varied(test::png_bytes(300'001), 7);
    ASSERT_EQ(store(WIDE("large.png"), image), S_OK);
    ASSERT_EQ(serve(WIDE("large.png")), S_OK);
    EXPECT_EQ(last.body, image);
    std::vector<DWORD> chunks(73, 4096);
    chunks.push_back(300'001 - 73 * 4096);
    EXPECT_EQ(last.write_sizes, chunks);
}

TEST_F(ImageOutput, FilesReadAtOnceEachGiveTheirOwnBytes) {
    const std::string first = varied(test::png_bytes(20'000), 7);
    const std::string second = varied(test::jpeg_bytes(30'000), 13);
    ASSERT_EQ(store(WIDE("first.png"), first), S_OK);
    ASSERT_EQ(store(WIDE("second.png"), second), S_OK);
    const auto one =
        platform::current_env().open_for_reading(path_of(WIDE("first.png")), root_length());
    const auto other =
        platform::current_env().open_for_reading(path_of(WIDE("second.png")), root_length());
    ASSERT_TRUE(one && other);
    std::string read_one, read_other;
    char buffer[4096];
    for (bool more = true; more;) {
        more = false;
        for (auto [file, content] : {std::pair{one.get(), &read_one}, {other.get(), &read_other}}) {
            const std::int64_t count = file->read(buffer, sizeof buffer);
            ASSERT_GE(count, 0);
            content->append(buffer, static_cast<std::size_t>(count));
            more = more || count > 0;
        }
    }
    EXPECT_EQ(read_one, first);
    EXPECT_EQ(read_other, second);
}

// Reports a size that does not fit the 32-bit Content-Length.
class oversized_env : public platform::env_wrapper {
public:
    using env_wrapper::env_wrapper;

    std::unique_ptr<platform::readable_file> open_for_reading(const wide_string& path,
                                                              std::size_t root_length) override {
        class oversized : public platform::readable_file {
        public:
            explicit oversized(std::unique_ptr<platform::readable_file> real)
                : real_(std::move(real)) {}
            bool times(platform::file_times& out) override { return real_->times(out); }
            bool size(std::uint64_t& out) override {
                out = 0xFFFFFFFFull;
                return true;
            }
            std::int64_t read(void* buffer, std::size_t capacity) override {
                return real_->read(buffer, capacity);
            }
            bool set_last_access(platform::file_time time) override {
                return real_->set_last_access(time);
            }

        private:
            std::unique_ptr<platform::readable_file> real_;
        };
        auto real = env_wrapper::open_for_reading(path, root_length);
        if (!real) return nullptr;
        return std::make_unique<oversized>(std::move(real));
    }
};

TEST_F(ImageOutput, AFileTooLargeForContentLengthIsNotServed) {
    ASSERT_EQ(store(WIDE("huge.png"), test::png_bytes(50)), S_OK);
    oversized_env huge(platform::default_env());
    platform::scoped_env installed(huge);
    EXPECT_EQ(serve(WIDE("huge.png")), E_FAIL);
    EXPECT_EQ(last.header_calls, 0);
}

} // namespace
} // namespace quorin
