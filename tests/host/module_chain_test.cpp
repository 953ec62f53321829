#include "chain/module_chain.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include "chain/http_exchange.h"
#include "chain/image_library_table.h"
#include "imaging/sample_images.h"
#include "os/dynamic_library.h"
#include "support/host_process.h"
#include "support/temp_dir.h"
#include "support/text_sink.h"

namespace quorin::host {
namespace {

http_request request_for(const char* method, const char* path) {
    http_request request;
    request.method = method;
    request.path = path;
    return request;
}

// What the chain's far end saw, and the image it hands to the module.
struct chain_end_record {
    int convert_calls = 0;
    EXTENSION_CONTROL_BLOCK* request = nullptr;
    std::uint64_t a = 0, b = 0, c = 0;
    HRESULT from_cache = S_OK;
    HRESULT stored = E_FAIL;
    std::string image;
    const void* core_job = nullptr;
    FIMEMORY* core_out = nullptr;
};
chain_end_record* record_of_test = nullptr;

HRESULT store_through(NTrelvaneModule::IImageOutputCached* output) {
    const FILETIME time{0x12345678, 0x01D00000};
    output->SetCacheKey(u"album/picture.png", &time);
    record_of_test->from_cache = output->OutputFromCache();
    auto& image = record_of_test->image;
    FIMEMORY* stream = FreeImage_OpenMemory(reinterpret_cast<BYTE*>(image.data()),
                                            static_cast<DWORD>(image.size()));
    const HRESULT result = output->Output(stream);
    FreeImage_CloseMemory(stream);
    return result;
}

extern "C" bool test_convert(EXTENSION_CONTROL_BLOCK* request, std::uint64_t a, std::uint64_t b,
                             std::uint64_t c, NTrelvaneModule::IImageOutputCached* output) {
    auto& seen = *record_of_test;
    ++seen.convert_calls;
    seen.request = request;
    seen.a = a;
    seen.b = b;
    seen.c = c;
    seen.stored = store_through(output);
    return true;
}

extern "C" bool test_convert_with_time(EXTENSION_CONTROL_BLOCK*, std::uint64_t, std::uint64_t,
                                       std::uint64_t,
                                       NTrelvaneModule::IImageOutputWithTimeCached*) {
    return false;
}

extern "C" int test_core(const void* job, FIMEMORY* out) {
    record_of_test->core_job = job;
    record_of_test->core_out = out;
    return 415;
}

const chain_ends test_ends{&test_convert, &test_convert_with_time,
                           reinterpret_cast<void*>(&test_core)};

class ModuleChain : public ::testing::Test {
protected:
    ModuleChain() {
        record_of_test = &seen;
        const auto picture = dir.path() / "picture.png";
        write_pattern_image(picture, 40, 30, output_format::png, pattern::checker);
        seen.image = test::read_file(picture);
        first = test::install_module(dir.path() / "first", "cache");
        second = test::install_module(dir.path() / "second", "cache");
        for (const auto& module : {first, second}) {
            std::filesystem::create_directories(module.parent_path() / "cache");
        }
    }
    ~ModuleChain() override { record_of_test = nullptr; }

    // Cache files below a module's cache folder.
    static std::vector<std::filesystem::path> cached(const std::filesystem::path& module) {
        std::vector<std::filesystem::path> files;
        for (const auto& entry :
             std::filesystem::recursive_directory_iterator(module.parent_path() / "cache")) {
            if (entry.is_regular_file()) files.push_back(entry.path());
        }
        return files;
    }

    chain_end_record seen;
    test::temp_dir dir;
    std::filesystem::path first, second;
};

TEST_F(ModuleChain, LinksEachModuleToTheNextAndTheLastToTheHost) {
    std::string error;
    const auto chain = module_chain::load({first, second}, test_ends, image_library_table(), error);
    ASSERT_TRUE(chain) << error;

    std::string reason;
    const auto a = os::dynamic_library::open(first.string(), reason);
    const auto b = os::dynamic_library::open(second.string(), reason);
    ASSERT_TRUE(a && b) << reason;
    const auto slot = [](const os::dynamic_library& library, const char* name) {
        return *static_cast<void**>(library.symbol(name));
    };
    for (const auto* library : {a.get(), b.get()}) {
        EXPECT_EQ(slot(*library, "FreeImageAPI"), image_library_table());
    }
    EXPECT_EQ(slot(*a, "OnConvertNext"), b->symbol("OnConvert"));
    EXPECT_EQ(slot(*a, "OnConvertWithTimeNext"), b->symbol("OnConvertWithTime"));
    EXPECT_EQ(slot(*a, "OnConvertCoreNext"), b->symbol("OnConvertCore"));
    EXPECT_EQ(slot(*b, "OnConvertNext"), reinterpret_cast<void*>(&test_convert));
    EXPECT_EQ(slot(*b, "OnConvertWithTimeNext"), reinterpret_cast<void*>(&test_convert_with_time));
    EXPECT_EQ(slot(*b, "OnConvertCoreNext"), reinterpret_cast<void*>(&test_core));
    EXPECT_EQ(chain->convert_core(), a->symbol("OnConvertCore"));
}

TEST_F(ModuleChain, ARequestPassesEveryModuleAndTheLastOneCaches) {
    std::string error;
    const auto chain = module_chain::load({first, second}, test_ends, image_library_table(), error);
    ASSERT_TRUE(chain) << error;

    test::text_sink out;
    http_exchange exchange(request_for("GET", "/picture.png"), out);
    EXPECT_TRUE(chain->convert(exchange.record(), 7, 8, 9));

    EXPECT_EQ(seen.convert_calls, 1);
    EXPECT_EQ(seen.request, exchange.record());
    EXPECT_EQ(seen.a, 7u);
    EXPECT_EQ(seen.b, 8u);
    EXPECT_EQ(seen.c, 9u);
    EXPECT_EQ(seen.from_cache, E_FAIL);
    EXPECT_EQ(seen.stored, S_OK);
    EXPECT_EQ(exchange.status(), 200);
    const std::string sent = out.all();
    EXPECT_EQ(sent.substr(sent.size() - seen.image.size()), seen.image);
    // The host's end holds the output object of the module next to it.
    EXPECT_TRUE(cached(first).empty());
    ASSERT_EQ(cached(second).size(), 1u);
    EXPECT_EQ(cached(second).front().filename(), "picture.png");
}

TEST_F(ModuleChain, TheCoreEntryReachesItsEndUnchanged) {
    std::string error;
    const auto chain = module_chain::load({first, second}, test_ends, image_library_table(), error);
    ASSERT_TRUE(chain) << error;

    const auto core = reinterpret_cast<int (*)(const void*, FIMEMORY*)>(chain->convert_core());
    const int job = 0;
    FIMEMORY* out = reinterpret_cast<FIMEMORY*>(0x1234);
    EXPECT_EQ(core(&job, out), 415);
    EXPECT_EQ(seen.core_job, &job);
    EXPECT_EQ(seen.core_out, out);
}

TEST_F(ModuleChain, AModuleThatDoesNotStartIsNamedWithItsSettingsFile) {
    test::write_file(second.parent_path() / "quorin.setting", "<quorin><CacheFolderPath>");
    std::string error;
    EXPECT_FALSE(module_chain::load({first, second}, test_ends, image_library_table(), error));
    EXPECT_NE(error.find(second.string()), std::string::npos) << error;
    EXPECT_NE(error.find((second.parent_path() / "quorin.setting").string()), std::string::npos)
        << error;
}

TEST_F(ModuleChain, RefusesWhatCannotFormAChain) {
    std::string error;
    EXPECT_FALSE(module_chain::load({first, first}, test_ends, image_library_table(), error));
    EXPECT_NE(error.find("twice"), std::string::npos) << error;

    EXPECT_FALSE(
        module_chain::load({dir.path() / "missing.so"}, test_ends, image_library_table(), error));
    EXPECT_NE(error.find("cannot load module"), std::string::npos) << error;

    EXPECT_FALSE(module_chain::load({}, test_ends, image_library_table(), error));
    EXPECT_NE(error.find("no module"), std::string::npos) << error;
}

} // namespace
} // namespace quorin::host
