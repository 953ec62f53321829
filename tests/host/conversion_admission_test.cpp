#include "convert/conversion_admission.h"

#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

namespace quorin::host {
namespace {

using namespace std::chrono_literals;

// Until `admission` has `count` conversions queued; false after a bound.
bool wait_until_queued(const conversion_admission& admission, std::size_t count) {
    for (int tries = 0; tries < 20'000; ++tries) {
        if (admission.waiting() == count) return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

TEST(ConversionAdmission, AdmitsWhatFitsAndRefusesTheRest) {
    struct row {
        const char* what;
        admission_limits limits;
        std::vector<std::uint64_t> held; // tickets granted first
        std::uint64_t asked;
        admission_verdict expected;
    };
    const row rows[] = {
        {"a free slot and share", {2, 100, 0, {}}, {60}, 40, admission_verdict::granted},
        {"the whole budget", {1, 100, 0, {}}, {}, 100, admission_verdict::granted},
        {"no free slot, no queue", {2, 100, 0, {}}, {1, 1}, 1, admission_verdict::queue_full},
        {"no free share, no queue", {2, 100, 0, {}}, {60}, 41, admission_verdict::queue_full},
        {"no free slot within the wait",
         {1, 100, 1, 2ms},
         {1},
         1,
         admission_verdict::waited_too_long},
        {"more than the budget", {4, 100, 4, 1s}, {}, 101, admission_verdict::too_large},
    };
    for (const row& r : rows) {
        conversion_admission admission(r.limits);
        std::vector<conversion_admission::ticket> held;
        for (const auto bytes : r.held) {
            held.push_back(admission.admit(bytes));
            ASSERT_TRUE(held.back().granted()) << r.what;
        }
        EXPECT_EQ(admission.admit(r.asked).verdict(), r.expected) << r.what;
        EXPECT_EQ(admission.waiting(), 0u) << r.what;
    }
}

// Released slots go to the waiters in the order they came, and a waiter
// that fits is not let past one that came before it.
TEST(ConversionAdmission, AReleaseAdmitsTheWaitersInTheirOrder) {
    conversion_admission admission({2, 100, 2, 60s});
    auto first = admission.admit(90);
    ASSERT_TRUE(first.granted());

    std::mutex mutex;
    std::vector<int> order;
    const auto convert = [&](int name, std::uint64_t bytes) {
        const auto ticket = admission.admit(bytes);
        const std::lock_guard lock(mutex);
        order.push_back(ticket.granted() ? name : -name);
    };
    std::thread second(convert, 2, 100);
    ASSERT_TRUE(wait_until_queued(admission, 1));
    std::thread third(convert, 3, 10); // would fit, but comes second
    ASSERT_TRUE(wait_until_queued(admission, 2));
    EXPECT_EQ(admission.admit(1).verdict(), admission_verdict::queue_full);

    first.release();
    second.join();
    third.join();
    EXPECT_EQ(order, (std::vector<int>{2, 3}));
    EXPECT_TRUE(admission.admit(100).granted()); // every share came back
}

// On a stop, a conversion queued for a minute is refused at once, and no
// later one is admitted even when a slot comes free.
TEST(ConversionAdmission, ClosingRefusesTheQueuedAtOnceAndEveryLaterOne) {
    conversion_admission admission({1, 100, 1, 60s});
    auto running = admission.admit(10);
    ASSERT_TRUE(running.granted());
    std::thread queued([&admission] {
        EXPECT_EQ(admission.admit(10).verdict(), admission_verdict::waited_too_long);
    });
    ASSERT_TRUE(wait_until_queued(admission, 1));
    const auto closed = std::chrono::steady_clock::now();
    admission.close();
    queued.join();
    EXPECT_LT(std::chrono::steady_clock::now() - closed, 30s);
    running.release();
    EXPECT_FALSE(admission.admit(10).granted());
}

} // namespace
} // namespace quorin::host
