#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/md5.h"

namespace quorin {
namespace {

std::string hex_of(const platform::md5_digest& digest) {
    std::string text;
    char pair[3];
    for (const std::uint8_t byte : digest) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

std::string digest_text(const std::string& message) {
    const auto digest = platform::md5(message.data(), message.size());
    return digest ? hex_of(*digest) : "no digest";
}

struct test_vector {
    std::string message;
    std::string digest;
};

// The test suite of RFC 1321.
const std::vector<test_vector> rfc_1321_suite = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5, GivesTheDigestsOfTheRfcSuite) {
    for (const auto& [message, digest] : rfc_1321_suite)
        EXPECT_EQ(digest_text(message), digest) << message;
}

// The algorithm object is shared by every thread: digests made at the same
// time from many threads must not bleed into one another.
TEST(Md5, ManyThreadsAtOnceEachGetTheirOwnDigests) {
    constexpr int thread_count = 8;
    constexpr int rounds = 2000;
    std::vector<int> wrong(thread_count, 0);
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < thread_count; ++t) {
            threads.emplace_back([t, &wrong] {
                for (int round = 0; round < rounds; ++round) {
                    const auto& [message, digest] =
                        rfc_1321_suite[(t + round) % rfc_1321_suite.size()];
                    if (digest_text(message) != digest) ++wrong[t];
                }
            });
        }
    }
    for (int t = 0; t < thread_count; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

} // namespace
} // namespace quorin
