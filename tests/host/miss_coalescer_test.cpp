#include "convert/miss_coalescer.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <latch>
#include <thread>
#include <vector>

namespace quorin::host {
namespace {

TEST(MissCoalescer, TheFirstClaimConvertsAndAFreedKeyCanBeClaimedAgain) {
    miss_coalescer coalescer;
    auto first = coalescer.claim(u"a");
    EXPECT_TRUE(first.converts());
    first.release();
    EXPECT_FALSE(first.converts());
    EXPECT_TRUE(coalescer.claim(u"a").converts());
}

TEST(MissCoalescer, OtherKeysAreNotHeldUp) {
    miss_coalescer coalescer;
    const auto held = coalescer.claim(u"a");
    auto other = std::async(std::launch::async, [&] { return coalescer.claim(u"b").converts(); });
    ASSERT_EQ(other.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_TRUE(other.get());
}

// Requests that miss together: one converts, and every other one returns
// only after that conversion was stored. A request that claims after the
// store became visible finds it and converts nothing, as the host's
// converter does by looking into the cache again after its claim.
TEST(MissCoalescer, ConcurrentMissesConvertOnce) {
    constexpr int requests = 32;
    miss_coalescer coalescer;
    std::atomic<bool> stored{false};
    std::atomic<int> conversions{0};
    std::atomic<int> early_returns{0};
    std::latch start(requests);

    std::vector<std::thread> threads;
    for (int i = 0; i < requests; ++i) {
        threads.emplace_back([&] {
            start.arrive_and_wait();
            auto lease = coalescer.claim(u"photo_w320.jpg");
            if (stored.load()) return;
            if (!lease.converts()) {
                ++early_returns; // woken before the result existed
                return;
            }
            ++conversions;
            stored.store(true);
            lease.release();
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(conversions.load(), 1);
    EXPECT_EQ(early_returns.load(), 0);
}

TEST(MissCoalescer, ALeaseGivesWayWhenItGoesOrMoves) {
    miss_coalescer coalescer;
    {
        auto moved_from = coalescer.claim(u"k");
        miss_coalescer::lease moved_to = std::move(moved_from);
        EXPECT_FALSE(moved_from.converts());
        EXPECT_TRUE(moved_to.converts());
    }
    auto again = std::async(std::launch::async, [&] { return coalescer.claim(u"k").converts(); });
    ASSERT_EQ(again.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_TRUE(again.get());
}

} // namespace
} // namespace quorin::host
