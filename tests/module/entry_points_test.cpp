#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <thread>

#include "cache/image_output.h"
#include "platform/filetime.h"
#include "support/cache_fixture.h"
#include "support/wide_text.h"
#include "trelvane_module.h"

namespace {

using quorin::test::fake_request;

// What the converter below the module saw during one call.
struct seen_by_converter {
    EXTENSION_CONTROL_BLOCK* request = nullptr;
    std::uint64_t a = 0, b = 0, c = 0;
    const void* output = nullptr;
};
thread_local seen_by_converter seen;

class EntryPoints : public ::testing::Test {
protected:
    void TearDown() override {
        OnConvertNext = nullptr;
        OnConvertWithTimeNext = nullptr;
        OnConvertCoreNext = nullptr;
    }
    quorin::test::cache_fixture cache;
};

TEST_F(EntryPoints, ModuleIdReadsAs255InEveryWidth) {
    std::uint8_t byte;
    std::uint16_t half;
    std::uint32_t word;
    std::uint64_t wide;
    std::memcpy(&byte, ModuleID, sizeof byte);
    std::memcpy(&half, ModuleID, sizeof half);
    std::memcpy(&word, ModuleID, sizeof word);
    std::memcpy(&wide, ModuleID, sizeof wide);
    EXPECT_EQ(byte, 255);
    EXPECT_EQ(half, 255);
    EXPECT_EQ(word, 255u);
    EXPECT_EQ(wide, 255u);
    for (int i = 1; i < 16; ++i) EXPECT_EQ(ModuleID[i], 0) << i;
}

TEST_F(EntryPoints, EmptySlotsRefuseInsteadOfCrashing) {
    fake_request request("GET");
    EXPECT_FALSE(OnConvert(request.record(), 1, 2, 3));
    EXPECT_FALSE(OnConvertWithTime(request.record(), 1, 2, 3));
    auto core = reinterpret_cast<bool (*)(int)>(&OnConvertCore);
    EXPECT_FALSE(core(7));
}

TEST_F(EntryPoints, PassTheRequestOnWithTheRightViewAndResult) {
    OnConvertNext = [](EXTENSION_CONTROL_BLOCK* request, std::uint64_t a, std::uint64_t b,
                       std::uint64_t c, NTrelvaneModule::IImageOutputCached* output) {
        seen = {request, a, b, c, output};
        return true;
    };
    OnConvertWithTimeNext = [](EXTENSION_CONTROL_BLOCK* request, std::uint64_t a, std::uint64_t b,
                               std::uint64_t c,
                               NTrelvaneModule::IImageOutputWithTimeCached* output) {
        seen = {request, a, b, c, output};
        return false;
    };
    fake_request request("GET");
    EXPECT_TRUE(OnConvert(request.record(), 1, ~0ull, 3));
    EXPECT_EQ(seen.request, request.record());
    EXPECT_EQ(seen.a, 1u);
    EXPECT_EQ(seen.b, ~0ull);
    EXPECT_EQ(seen.c, 3u);
    const void* cached_view = seen.output;

    EXPECT_FALSE(OnConvertWithTime(request.record(), 4, 5, 6));
    EXPECT_EQ(seen.a, 4u);
    EXPECT_EQ(seen.c, 6u);
    // The objects of the two calls lived at the same stack depth: the cached
    // view handed by OnConvert lies past the start of the object.
    EXPECT_NE(cached_view, seen.output);
    // Nothing reached the client from the module itself.
    EXPECT_EQ(request.response.header_calls, 0);
    EXPECT_TRUE(request.response.body.empty());
}

TEST_F(EntryPoints, SlotZeroOfEitherViewIsOutput) {
    static const std::string image = quorin::test::png_bytes(32);
    OnConvertNext = [](EXTENSION_CONTROL_BLOCK*, std::uint64_t, std::uint64_t, std::uint64_t,
                       NTrelvaneModule::IImageOutputCached* output) {
        FIMEMORY stream{image};
        return output->Output(&stream) == S_OK;
    };
    OnConvertWithTimeNext = [](EXTENSION_CONTROL_BLOCK*, std::uint64_t, std::uint64_t,
                               std::uint64_t, NTrelvaneModule::IImageOutputWithTimeCached* output) {
        const FILETIME time = quorin::platform::to_FILETIME(0);
        static_cast<NTrelvaneModule::IImageOutputWithTime*>(output)->SetTime(&time);
        FIMEMORY stream{image};
        return static_cast<NTrelvaneModule::IImageOutputWithTime*>(output)->Output(&stream) == S_OK;
    };
    fake_request plain("GET");
    ASSERT_TRUE(OnConvert(plain.record(), 0, 0, 0));
    EXPECT_EQ(plain.response.body, image);
    fake_request timed("GET");
    ASSERT_TRUE(OnConvertWithTime(timed.record(), 0, 0, 0));
    EXPECT_NE(timed.response.header_block.find("Last-Modified: Mon, 01 Jan 1601 00:00:00 GMT\r\n"),
              std::string::npos);
}

TEST_F(EntryPoints, AnExceptionOfTheConverterReachesTheHost) {
    OnConvertNext = [](EXTENSION_CONTROL_BLOCK*, std::uint64_t, std::uint64_t, std::uint64_t,
                       NTrelvaneModule::IImageOutputCached* output) -> bool {
        const FILETIME time{};
        output->SetCacheKey(WIDE("C:\\a-long-enough-key-to-need-its-own-storage\\photo.jpg"),
                            &time);
        throw std::runtime_error("converter failed");
    };
    fake_request request("GET");
    // The object's path storage is released on the way (the sanitizer build checks).
    EXPECT_THROW(OnConvert(request.record(), 0, 0, 0), std::runtime_error);
}

TEST_F(EntryPoints, ConcurrentRequestsHaveIndependentObjects) {
    OnConvertNext = [](EXTENSION_CONTROL_BLOCK* request, std::uint64_t a, std::uint64_t,
                       std::uint64_t, NTrelvaneModule::IImageOutputCached* output) {
        const quorin::wide_string key =
            WIDE("image-") + quorin::wide_string(1, static_cast<TrelvaneChar>(WIDE('a') + a)) +
            WIDE(".png");
        const FILETIME time = quorin::platform::to_FILETIME(134'120'558'491'234'567ull + a);
        output->SetCacheKey(key.c_str(), &time);
        if (output->OutputFromCache() == S_OK) return true;
        FIMEMORY stream{quorin::test::png_bytes(100 + a)};
        return output->Output(&stream) == S_OK && request != nullptr;
    };
    std::filesystem::create_directories(cache.root());
    for (TrelvaneChar letter = WIDE('a'); letter < WIDE('a') + 8; ++letter) {
        // Leaf directories for every key used below.
        fake_request request("GET");
        quorin::CImageOutput probe(request.record());
        const quorin::wide_string key =
            WIDE("image-") + quorin::wide_string(1, letter) + WIDE(".png");
        const FILETIME time{};
        probe.SetCacheKey(key.c_str(), &time);
        cache.create_leaf_for(probe.path());
    }
    std::vector<std::thread> threads;
    std::vector<std::string> bodies(8);
    for (std::uint64_t i = 0; i < 8; ++i) {
        threads.emplace_back([i, &bodies] {
            for (int round = 0; round < 20; ++round) {
                fake_request request("GET");
                if (!OnConvert(request.record(), i, 0, 0)) return;
                bodies[i] = request.response.body;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (std::uint64_t i = 0; i < 8; ++i)
        EXPECT_EQ(bodies[i], quorin::test::png_bytes(100 + i)) << i;
}

// A core converter with more arguments than registers, of mixed kinds.
double core_converter(int a, double b, long c, long d, long e, long f, long g, long h, double i) {
    return a + b + static_cast<double>(c + d + e + f + g + h) + i;
}

TEST_F(EntryPoints, CoreEntryForwardsEveryArgumentAndTheResult) {
    OnConvertCoreNext = reinterpret_cast<void*>(&core_converter);
    auto core =
        reinterpret_cast<double (*)(int, double, long, long, long, long, long, long, double)>(
            &OnConvertCore);
    EXPECT_DOUBLE_EQ(core(1, 0.5, 10, 20, 30, 40, 50, 60, 0.25), 211.75);
}

} // namespace
