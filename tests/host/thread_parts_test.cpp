#include "base/thread_parts.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "base/bounded_memo.h"
#include "telemetry/metrics.h"

namespace quorin::host {
namespace {

// Counts made on many threads, more than there are parts, all show.
TEST(ThreadParts, CountsFromEveryThreadAddUp) {
    metrics counted;
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < thread_part_count + 3; ++i) {
        threads.emplace_back([&counted] {
            for (int n = 0; n < 1000; ++n) {
                counted.record_request(request_kind::hit);
                counted.record_body_bytes(10);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    const std::string text = counted.render();
    const auto count = std::to_string(1000 * (thread_part_count + 3));
    EXPECT_NE(text.find("quorin_host_requests_total{outcome=\"hit\"} " + count + "\n"),
              std::string::npos);
    EXPECT_NE(text.find("quorin_host_response_body_bytes_total " + count + "0\n"),
              std::string::npos);
}

// A thread finds what it remembered itself, whatever a thread with another
// part remembered under the same key.
TEST(ThreadParts, EachThreadRemembersForItself) {
    bounded_memo<std::string, int> memo(2);
    memo.remember(std::string("photo.jpg"), 1);
    const std::size_t main_part = this_thread_part();
    bool checked = false;
    // Parts go to threads in turn: of two threads started one after the
    // other, at least one has a part other than this thread's.
    for (int attempt = 0; attempt < 2 && !checked; ++attempt) {
        std::thread([&] {
            if (this_thread_part() == main_part) return;
            checked = true;
            EXPECT_FALSE(memo.find(std::string("photo.jpg")));
            memo.remember(std::string("photo.jpg"), 2);
            EXPECT_EQ(memo.find(std::string("photo.jpg")), 2);
        }).join();
    }
    EXPECT_TRUE(checked);
    EXPECT_EQ(memo.find(std::string("photo.jpg")), 1);
}

} // namespace
} // namespace quorin::host
