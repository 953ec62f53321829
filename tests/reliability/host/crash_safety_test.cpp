// quorin-host killed with SIGKILL at random moments while it stores
// conversions, restarted over the same cache each time: no answer, before
// or after a kill, is ever truncated or mixed, and no interrupted store is
// left where it could be served.
//
// QUORIN_CRASH_KILLS sets the number of kills (scripts/crash-test.sh runs
// at least 100; the default is the short form CI runs).
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "killable_host.h"
#include "served_images.h"
#include "support/host_process.h"
#include "support/temp_dir.h"
#include "support/versioned_images.h"

namespace quorin::test {
namespace {

namespace fs = std::filesystem;

constexpr int image_count = 4;
constexpr int client_count = 4;
constexpr int requests_per_client_at_most = 400;

int requested_kills() {
    const char* text = std::getenv("QUORIN_CRASH_KILLS");
    const int value = text != nullptr ? std::atoi(text) : 0;
    return value > 0 ? value : 10;
}

std::uint64_t last_write_ticks(const fs::path& file) {
    const auto since_1970 =
        std::chrono::file_clock::to_sys(fs::last_write_time(file)).time_since_epoch();
    return static_cast<std::uint64_t>(
               std::chrono::duration_cast<std::chrono::nanoseconds>(since_1970).count() / 100) +
           116'444'736'000'000'000ull;
}

class findings {
public:
    void add(const std::string& what) {
        const std::lock_guard lock(mutex_);
        list_.push_back(what);
    }
    std::vector<std::string> list() const {
        const std::lock_guard lock(mutex_);
        return list_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> list_;
};

TEST(crash_safety, no_answer_is_truncated_or_mixed_across_kills_while_storing) {
    temp_dir dir;
    const fs::path images = dir.path() / "images";
    fs::create_directories(images);
    image_versions versions(image_count);
    for (int image = 0; image < image_count; ++image) write_source(images, image, 0);
    const fs::path module = install_module(dir.path() / "module", "cache");
    const fs::path cache_root = dir.path() / "module" / "cache";
    fs::create_directories(cache_root);
    const std::vector<std::string> arguments = {"--images",      images.string(), "--module",
                                                module.string(), "--threads",     "8"};

    const int kills = requested_kills();
    std::mt19937_64 random(20261208);
    findings wrong;
    std::atomic<std::uint64_t> answered_total{0};
    for (int round = 0; round < kills; ++round) {
        if (round % 3 == 0) { // a source changes while the host is down
            const int image = round / 3 % image_count;
            versions.touch(image);
            write_source(images, image, versions.current(image));
        }
        killable_host host(arguments);
        const int kill_after = 1 + static_cast<int>(random() % 12);
        std::atomic<int> answered{0};
        std::atomic<int> clients_done{0};
        {
            std::vector<std::jthread> clients;
            for (int client = 0; client < client_count; ++client) {
                clients.emplace_back([&, seed = random()] {
                    std::mt19937_64 own(seed);
                    http_client http;
                    for (int i = 0; i < requests_per_client_at_most; ++i) {
                        const int image = static_cast<int>(own() % image_count);
                        const unsigned w =
                            16 + static_cast<unsigned>(own() % 400); // mostly new: a store
                        http_response response;
                        try {
                            response = http.request(host.url(target_of(image, w)));
                        } catch (const std::exception&) {
                            break; // the host is gone
                        }
                        if (const auto what = check_answer(response, false, image, w);
                            !what.empty()) {
                            wrong.add(target_of(image, w) + ": " + what);
                        }
                        ++answered;
                        answered.notify_all();
                    }
                    ++clients_done;
                    answered.notify_all();
                });
            }
            for (int seen = answered; seen < kill_after && clients_done < client_count;
                 seen = answered) {
                answered.wait(seen);
            }
            host.kill();
        }
        answered_total += answered;
    }

    // Whatever the kills left: an entry that carries its source's time is
    // whole and of that version; the others are never served.
    std::set<std::pair<int, unsigned>> stored;
    std::size_t servable = 0, interrupted = 0;
    for (const auto& entry : fs::recursive_directory_iterator(cache_root)) {
        if (!entry.is_regular_file()) continue;
        const auto [image, w] = image_and_width_of(entry.path().filename().string());
        stored.insert({image, w});
        const auto version = version_at(last_write_ticks(entry.path()));
        if (!version) {
            ++interrupted;
            continue;
        }
        ++servable;
        if (const auto what = check_png(read_file(entry.path()), image, w, *version);
            !what.empty()) {
            wrong.add("servable entry " + entry.path().filename().string() + ": " + what);
        }
    }
    // And a host started afresh answers each of them whole and current.
    {
        host_process host({"--images", images.string(), "--module", module.string(), "--quiet"});
        http_client http;
        for (const auto& [image, w] : stored) {
            if (const auto what =
                    check_answer(http.request(host.url(target_of(image, w))), false, image, w);
                !what.empty()) {
                wrong.add("after the kills " + target_of(image, w) + ": " + what);
            }
        }
        EXPECT_EQ(host.stop(), 0);
    }

    const auto found = wrong.list();
    for (std::size_t i = 0; i < found.size() && i < 10; ++i) ADD_FAILURE() << found[i];
    EXPECT_EQ(found.size(), 0u);
    EXPECT_GT(servable, 0u);
    std::cout << "[ crash ] " << kills << " SIGKILLs while storing, " << answered_total
              << " answers checked before them, " << stored.size() << " entries left (" << servable
              << " servable and whole, " << interrupted << " interrupted and never served), all "
              << stored.size() << " answered whole afterwards; " << found.size() << " violations"
              << std::endl;
}

} // namespace
} // namespace quorin::test
