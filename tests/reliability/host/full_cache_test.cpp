// A cache folder on a 1 MiB tmpfs that fills up, then is remounted
// read-only: every request still gets its whole image (the host answers
// directly what it cannot store), no cut-short entry is left where it could
// be served, and the sweep keeps running and logs "DELETE_FAIL " for every
// file it cannot delete. Needs root for the mounts; skipped without.
#include <cstdlib>
#include <iostream>

#include <gtest/gtest.h>

#include "expiry/expiry_sweep.h"
#include "served_images.h"
#include "support/host_process.h"
#include "support/swept_cache.h"
#include "support/temp_dir.h"
#include "support/versioned_images.h"

namespace quorin::test {
namespace {

namespace fs = std::filesystem;

constexpr int image_count = 4;
constexpr unsigned width_count = 150;

bool run(const std::string& command) {
    return std::system((command + " 2>/dev/null").c_str()) == 0;
}

std::uint64_t last_write_ticks(const fs::path& file) {
    const auto since_1970 =
        std::chrono::file_clock::to_sys(fs::last_write_time(file)).time_since_epoch();
    return static_cast<std::uint64_t>(
               std::chrono::duration_cast<std::chrono::nanoseconds>(since_1970).count() / 100) +
           116'444'736'000'000'000ull;
}

class full_cache : public ::testing::Test {
protected:
    full_cache() {
        fs::create_directories(images);
        fs::create_directories(cache_root);
        for (int image = 0; image < image_count; ++image) write_source(images, image, 0);
    }
    ~full_cache() override {
        host.reset();
        if (mounted) run("umount -l '" + cache_root.string() + "'");
    }

    void start_host() {
        const fs::path module = install_module(dir.path() / "module", cache_root.string());
        host = std::make_unique<host_process>(std::vector<std::string>{
            "--images", images.string(), "--module", module.string(), "--quiet"});
    }

    // Asks for every image at every width once; each answer must be whole.
    void request_all() {
        http_client http;
        for (int image = 0; image < image_count; ++image) {
            for (unsigned w = 16; w < 16 + width_count; ++w) {
                const std::string wrong =
                    check_answer(http.request(host->url(target_of(image, w))), false, image, w);
                ++answers;
                if (!wrong.empty()) ADD_FAILURE() << target_of(image, w) << ": " << wrong;
            }
        }
    }

    struct entries {
        std::size_t files = 0;
        std::size_t servable = 0; // carrying their source's time
    };

    // Entries that carry their source's time must be whole; the others are
    // stores cut short, which are never served.
    entries check_entries() {
        entries found;
        for (const auto& entry : fs::recursive_directory_iterator(cache_root)) {
            if (!entry.is_regular_file()) continue;
            ++found.files;
            const std::string name = entry.path().filename().string();
            const auto [image, w] = image_and_width_of(name);
            const auto version = version_at(last_write_ticks(entry.path()));
            if (!version) continue;
            ++found.servable;
            const std::string wrong = check_png(read_file(entry.path()), image, w, *version);
            if (!wrong.empty()) ADD_FAILURE() << "servable entry " << name << ": " << wrong;
        }
        return found;
    }

    temp_dir dir;
    fs::path images = dir.path() / "images";
    fs::path cache_root = dir.path() / "cache";
    bool mounted = false;
    std::unique_ptr<host_process> host;
    std::size_t answers = 0;
};

TEST_F(full_cache, a_full_then_read_only_cache_still_answers_every_request_whole) {
    mounted = run("mount -t tmpfs -o size=1m tmpfs '" + cache_root.string() + "'");
    if (!mounted) GTEST_SKIP() << "cannot mount a tmpfs here (not root?)";
    start_host();

    request_all();
    EXPECT_LT(fs::space(cache_root).available, 64u * 1024) << "the cache filled up";
    const entries when_full = check_entries();
    EXPECT_LT(when_full.servable, image_count * width_count)
        << "some conversions could not be stored";
    request_all(); // hits where stored, direct answers elsewhere

    // The sweep empties the folder; then it is made read-only.
    swept_cache sweeps(cache_root, 1);
    sweeps.set_clock_ahead(3600);
    expiry_sweep();
    EXPECT_EQ(check_entries().files, 0u);
    request_all();
    const entries before_read_only = check_entries();
    ASSERT_GT(before_read_only.servable, 0u);
    ASSERT_TRUE(run("mount -o remount,ro '" + cache_root.string() + "'"));
    request_all();
    expiry_sweep();
    const auto log = sweeps.log_lines();
    EXPECT_EQ(count_lines_starting(log, "DELETE_FAIL "), before_read_only.files);
    EXPECT_EQ(count_lines_starting(log, "DELETE_PROC OUT"), 2u) << "both sweeps ran to their end";
    EXPECT_EQ(check_entries().files, before_read_only.files);
    EXPECT_EQ(host->stop(), 0);

    std::cout << "[ full cache ] " << answers << " answers checked on a 1 MiB tmpfs: when full, "
              << when_full.servable << " whole entries of " << image_count * width_count << " and "
              << when_full.files - when_full.servable
              << " cut-short files (never served); read-only: "
              << count_lines_starting(log, "DELETE_FAIL ") << " DELETE_FAIL lines for "
              << before_read_only.files << " files" << std::endl;
}

} // namespace
} // namespace quorin::test
