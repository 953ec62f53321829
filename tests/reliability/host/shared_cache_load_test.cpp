// Two quorin-host processes over one cache folder (how a site scales out
// behind a load balancer) under a bounded HTTP load from libcurl clients,
// while sweeps that find every file expired run back to back on that folder
// and sources change. Every answer is checked (served_images.h).
//
// QUORIN_HOST_LOAD_REQUESTS sets the number of requests (default: the
// short form CI runs).
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "served_images.h"
#include "support/host_process.h"
#include "support/swept_cache.h"
#include "support/temp_dir.h"
#include "support/versioned_images.h"

namespace quorin::test {
namespace {

namespace fs = std::filesystem;

constexpr int image_count = 6;
constexpr int client_count = 6;
constexpr unsigned widths[] = {40, 64, 100};

std::uint64_t requested_total() {
    const char* text = std::getenv("QUORIN_HOST_LOAD_REQUESTS");
    const std::uint64_t value = text != nullptr ? std::strtoull(text, nullptr, 10) : 0;
    return value > 0 ? value : 1'200;
}

TEST(shared_cache_load, two_hosts_on_one_cache_answer_whole_current_images_while_sweeps_run) {
    temp_dir dir;
    const fs::path images = dir.path() / "images";
    const fs::path cache_root = dir.path() / "shared cache";
    fs::create_directories(images);
    image_versions versions(image_count);
    for (int image = 0; image < image_count; ++image) write_source(images, image, 0);

    std::vector<std::unique_ptr<host_process>> hosts;
    for (const char* name : {"host-a", "host-b"}) {
        const fs::path module = install_module(dir.path() / name, cache_root.string());
        hosts.push_back(std::make_unique<host_process>(
            std::vector<std::string>{"--images", images.string(), "--module", module.string(),
                                     "--threads", "8", "--quiet"}));
    }

    swept_cache sweeps(cache_root, 1);
    sweeps.set_clock_ahead(3600);
    std::mutex touching; // one writer per source at a time
    std::atomic<std::uint64_t> checked{0}, touches{0}, per_host[2] = {0, 0};
    std::mutex found_mutex;
    std::vector<std::string> violations;
    const std::uint64_t total = requested_total();
    back_to_back_sweeper sweeper;
    {
        std::vector<std::jthread> clients;
        for (int client = 0; client < client_count; ++client) {
            clients.emplace_back([&, client] {
                std::mt19937_64 random(client);
                http_client http;
                for (std::uint64_t i = client; i < total; i += client_count) {
                    const int image = static_cast<int>(random() % image_count);
                    if (random() % 16 == 0) {
                        const std::lock_guard lock(touching);
                        versions.touch(image);
                        write_source(images, image, versions.current(image));
                        ++touches;
                    }
                    const unsigned w = widths[random() % std::size(widths)];
                    const bool head = random() % 4 == 0;
                    const std::size_t host = random() % 2;
                    std::string wrong;
                    try {
                        wrong = check_answer(http.request(hosts[host]->url(target_of(image, w)),
                                                          head ? "HEAD" : "GET"),
                                             head, image, w);
                    } catch (const std::exception& failure) {
                        wrong = failure.what();
                    }
                    ++checked;
                    ++per_host[host];
                    if (!wrong.empty()) {
                        const std::lock_guard lock(found_mutex);
                        violations.push_back(target_of(image, w) + (head ? " HEAD: " : " GET: ") +
                                             wrong);
                    }
                }
            });
        }
    }
    const std::uint64_t sweep_count = sweeper.stop();
    for (auto& host : hosts) EXPECT_EQ(host->stop(), 0);

    for (std::size_t i = 0; i < violations.size() && i < 10; ++i) ADD_FAILURE() << violations[i];
    EXPECT_EQ(violations.size(), 0u);
    EXPECT_EQ(checked.load(), total);
    EXPECT_GT(per_host[0].load(), 0u);
    EXPECT_GT(per_host[1].load(), 0u);
    EXPECT_GE(sweep_count, 1u);
    std::cout << "[ host load ] " << checked << " HTTP requests checked over two hosts ("
              << per_host[0] << " + " << per_host[1] << "), " << touches << " source changes, "
              << sweep_count << " sweeps, "
              << count_lines_starting(sweeps.log_lines(), "DELETE_FAIL ") << " DELETE_FAIL lines, "
              << violations.size() << " violations" << std::endl;
}

} // namespace
} // namespace quorin::test
