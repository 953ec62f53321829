// Many threads ask for cached, uncached and changing images through the
// module's entries while sweeps that find every file expired run back to
// back; every answer is checked (see support/checked_requests.h).
//
// QUORIN_SOAK_REQUESTS sets the number of requests (scripts/soak.sh runs it
// long); the default is the short form CI runs.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "support/checked_requests.h"
#include "support/swept_cache.h"
#include "support/temp_dir.h"
#include "support/versioned_images.h"

namespace quorin::test {
namespace {

namespace fs = std::filesystem;

constexpr int image_count = 48;
constexpr int client_count = 6;

std::uint64_t requested_total() {
    const char* text = std::getenv("QUORIN_SOAK_REQUESTS");
    const std::uint64_t value = text != nullptr ? std::strtoull(text, nullptr, 10) : 0;
    return value > 0 ? value : 24'000;
}

// Image N % 4: 0 never changes, 1 changes often, 2 is answered directly
// (no key), 3 changes now and then.
request_plan next_plan(std::mt19937_64& random, image_versions& versions) {
    request_plan plan;
    plan.image = static_cast<int>(random() % image_count);
    const std::uint64_t dice = random();
    switch (plan.image % 4) {
    case 1:
        if (dice % 4 == 0) versions.touch(plan.image);
        break;
    case 2:
        plan.keyed = false;
        plan.timed = dice % 3 != 0;
        break;
    case 3:
        if (dice % 32 == 0) versions.touch(plan.image);
        break;
    }
    plan.version = versions.current(plan.image);
    plan.head = (dice >> 8) % 4 == 0;
    return plan;
}

// Last-write time of a file in 100 ns ticks since 1601.
std::uint64_t last_write_ticks(const fs::path& file) {
    const auto since_1970 =
        std::chrono::file_clock::to_sys(fs::last_write_time(file)).time_since_epoch();
    return static_cast<std::uint64_t>(
               std::chrono::duration_cast<std::chrono::nanoseconds>(since_1970).count() / 100) +
           116'444'736'000'000'000ull;
}

// A file left in the cache that carries the time of a version must hold
// exactly that version's conversion: otherwise it could be served.
std::vector<std::string> servable_but_wrong_entries(const fs::path& root) {
    std::vector<std::string> wrong;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        const auto version = version_at(last_write_ticks(entry.path()));
        if (!version) continue;
        const std::string name = entry.path().filename().string();
        const int image = std::stoi(name.substr(name.find('-') + 1));
        if (read_file(entry.path()) != conversion_of(image, *version))
            wrong.push_back(entry.path().string());
    }
    return wrong;
}

TEST(concurrency_soak,
     every_answer_is_whole_and_of_the_version_it_names_while_sweeps_expire_everything) {
    swept_cache cache;
    cache.set_clock_ahead(3600);
    const checking_converter converter;
    image_versions versions(image_count);
    answer_tally tally;
    const std::uint64_t total = requested_total();

    back_to_back_sweeper sweeper;
    {
        std::vector<std::jthread> clients;
        for (int client = 0; client < client_count; ++client) {
            clients.emplace_back([&, client] {
                std::mt19937_64 random(client);
                for (std::uint64_t i = client; i < total; i += client_count) {
                    tally.add(run_checked_request(next_plan(random, versions)));
                }
            });
        }
    }
    const std::uint64_t sweeps = sweeper.stop();

    const auto violations = tally.violations();
    for (std::size_t i = 0; i < violations.size() && i < 10; ++i) ADD_FAILURE() << violations[i];
    EXPECT_EQ(violations.size(), 0u);
    EXPECT_EQ(tally.checked.load(), total);
    EXPECT_GT(tally.from_cache.load(), 0u);
    EXPECT_GT(tally.answered.load(), tally.from_cache.load());
    EXPECT_GE(sweeps, 1u);
    EXPECT_EQ(servable_but_wrong_entries(cache.root()), std::vector<std::string>{});

    const auto log = cache.log_lines();
    std::cout << "[ soak ] " << tally.checked << " requests checked: " << tally.answered
              << " answered (" << tally.from_cache << " from the cache), " << tally.refused
              << " refused with nothing sent; " << sweeps << " sweeps, "
              << count_lines_starting(log, "DELETE_FAIL ") << " DELETE_FAIL lines, "
              << violations.size() << " violations" << std::endl;
}

} // namespace
} // namespace quorin::test
