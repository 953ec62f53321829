// The module loaded from its file and driven only through the public contract,
// the way a host drives it.
#include <gtest/gtest.h>

#include "support/fake_host.h"
#include "support/loaded_module.h"
#include "support/temp_dir.h"
#include "support/wide_text.h"

namespace {

using quorin::test::fake_request;
using quorin::test::loaded_module;

// What the host's converter is asked to produce for one request.
struct conversion {
    const TrelvaneChar* key;
    FILETIME source_time;
    std::string converted;
    bool answered_from_cache = false;
};

bool host_converter(EXTENSION_CONTROL_BLOCK*, std::uint64_t job_address, std::uint64_t,
                    std::uint64_t, NTrelvaneModule::IImageOutputCached* output) {
    auto& job = *reinterpret_cast<conversion*>(job_address);
    output->SetCacheKey(job.key, &job.source_time);
    job.answered_from_cache = output->OutputFromCache() == S_OK;
    if (job.answered_from_cache) return true;
    FIMEMORY stream{job.converted};
    return output->Output(&stream) == S_OK;
}

std::string settings_naming(const std::string& cache_folder) {
    return "<?xml version='1.0' encoding='UTF-8'?>\n<quorin>\n  <CacheFolderPath>" + cache_folder +
           "</CacheFolderPath>\n</quorin>\n";
}

class ModuleIntegration : public ::testing::Test {
protected:
    quorin::test::temp_dir dir;

    std::unique_ptr<loaded_module> load(const std::string& settings) {
        auto module = std::make_unique<loaded_module>(QUORIN_MODULE_FILE, dir.path(), settings);
        module->slot<FreeImageFunction*>("FreeImageAPI") = quorin::test::fake_image_table();
        module->slot<OnConvertNext_t>("OnConvertNext") = &host_converter;
        return module;
    }
};

TEST_F(ModuleIntegration, ServesConversionsThroughItsCacheBesideTheModule) {
    std::filesystem::create_directory(dir.path() / "cache");
    const auto module = load(settings_naming("cache"));
    ASSERT_TRUE(module->function<Loaded_t>("Loaded")());

    std::size_t directories = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path() / "cache")) {
        directories += entry.is_directory();
    }
    EXPECT_EQ(directories, 16u + 4096u);

    const auto convert = module->function<OnConvert_t>("OnConvert");
    // 2026-01-05 03:04:09.1234567 UTC.
    const FILETIME source_time{0xF5F27107u, 0x01DC7DEFu};
    conversion job{WIDE("C:\\images\\photo.jpg"), source_time, quorin::test::jpeg_bytes(9000)};

    fake_request first("GET");
    ASSERT_TRUE(convert(first.record(), reinterpret_cast<std::uint64_t>(&job), 0, 0));
    EXPECT_FALSE(job.answered_from_cache);
    EXPECT_EQ(first.response.body, job.converted);
    EXPECT_EQ(quorin::test::read_file(dir.path() / "cache" / "6" / "20" / "photo.jpg"),
              job.converted);

    fake_request second("GET");
    ASSERT_TRUE(convert(second.record(), reinterpret_cast<std::uint64_t>(&job), 0, 0));
    EXPECT_TRUE(job.answered_from_cache);
    EXPECT_EQ(second.response.header_block, first.response.header_block);
    EXPECT_EQ(second.response.body, job.converted);
    EXPECT_EQ(second.response.write_sizes, (std::vector<DWORD>{4096, 4096, 808}));

    fake_request head("HEAD");
    ASSERT_TRUE(convert(head.record(), reinterpret_cast<std::uint64_t>(&job), 0, 0));
    EXPECT_EQ(head.response.header_block, first.response.header_block);
    EXPECT_TRUE(head.response.body.empty());

    EXPECT_TRUE(module->function<Unloaded_t>("Unloaded")());
}

TEST_F(ModuleIntegration, RefusesToLoadWithoutUsableSettings) {
    {
        const auto module = load("");
        EXPECT_FALSE(module->function<Loaded_t>("Loaded")());
        EXPECT_TRUE(module->function<Unloaded_t>("Unloaded")());
    }
    {
        const auto module = load("<other><CacheFolderPath>cache</CacheFolderPath></other>");
        EXPECT_FALSE(module->function<Loaded_t>("Loaded")());
    }
    {
        const auto module = load("<quorin/>");
        EXPECT_FALSE(module->function<Loaded_t>("Loaded")());
        EXPECT_TRUE(module->function<Unloaded_t>("Unloaded")());
    }
}

} // namespace
