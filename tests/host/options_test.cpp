#include "app/options.h"

#include <gtest/gtest.h>

#include "http/http_server.h"

namespace quorin::host {
namespace {

parsed_options parse(const std::vector<std::string>& arguments) {
    return parse_options(arguments, "/opt/q/quorin.so");
}

TEST(Options, DefaultsListenLocallyAndLoadTheBuiltModule) {
    const auto parsed = parse({"--images", "pics"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->listen, "127.0.0.1:8080");
    EXPECT_EQ(parsed.options->images, "pics");
    EXPECT_EQ(parsed.options->modules, std::vector<std::filesystem::path>{"/opt/q/quorin.so"});
    EXPECT_TRUE(parsed.options->access_log);
    EXPECT_EQ(parsed.options->threads, 0u);
}

TEST(Options, ModulesChainInTheOrderGiven) {
    const auto parsed = parse({"--module", "a.so", "--images", "p", "--module", "b.so", "--threads",
                               "12", "--listen", "127.0.0.1:0", "--quiet"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->modules, (std::vector<std::filesystem::path>{"a.so", "b.so"}));
    EXPECT_EQ(parsed.options->threads, 12u);
    EXPECT_EQ(parsed.options->listen, "127.0.0.1:0");
    EXPECT_FALSE(parsed.options->access_log);
}

TEST(Options, SamplesAndHelpNeedNoImages) {
    EXPECT_EQ(parse({"--make-samples", "out"}).options->make_samples, "out");
    EXPECT_TRUE(parse({"--help"}).options->help);
    EXPECT_NE(usage_text().find("--images DIR"), std::string::npos);
}

TEST(Options, MistakesAreNamed) {
    EXPECT_NE(parse({}).error.find("--images"), std::string::npos);
    EXPECT_NE(parse({"--images"}).error.find("needs a value"), std::string::npos);
    EXPECT_NE(parse({"--images", "p", "--port", "1"}).error.find("'--port'"), std::string::npos);
    for (const char* threads : {"0", "-1", "x", "1025", "99999"}) {
        EXPECT_FALSE(parse({"--images", "p", "--threads", threads}).options) << threads;
    }
}

TEST(Options, ServingPolicyOptions) {
    const auto parsed =
        parse({"--images", "p", "--max-age", "0", "--sizes", "1x2,3x4", "--signing-key", "k",
               "--access-log", "a.log", "--drain-seconds", "5"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->max_age, 0u);
    EXPECT_EQ(parsed.options->sizes->listing(), "1x2, 3x4");
    EXPECT_EQ(parsed.options->signing_key, "k");
    EXPECT_EQ(parsed.options->access_log_file, "a.log");
    EXPECT_EQ(parsed.options->drain_seconds, 5u);
    EXPECT_EQ(parse({"--images", "p"}).options->max_age, 86'400u);

    EXPECT_TRUE(parse({"--signing-key", "k", "--sign", "/a.jpg"}).options);
    EXPECT_NE(parse({"--sign", "/a.jpg"}).error.find("--signing-key"), std::string::npos);
    for (const auto& bad : std::vector<std::vector<std::string>>{{"--max-age", "-1"},
                                                                 {"--max-age", "1e3"},
                                                                 {"--drain-seconds", "x"},
                                                                 {"--sizes", "1x"}}) {
        std::vector<std::string> arguments{"--images", "p"};
        arguments.insert(arguments.end(), bad.begin(), bad.end());
        EXPECT_FALSE(parse(arguments).options) << bad[0] << ' ' << bad[1];
    }
}

TEST(Options, AvifSpeed) {
    EXPECT_EQ(parse({"--images", "p"}).options->avif_speed, default_avif_speed);
    EXPECT_EQ(parse({"--images", "p", "--avif-speed", "0"}).options->avif_speed, 0);
    EXPECT_EQ(parse({"--images", "p", "--avif-speed", "9"}).options->avif_speed, 9);
    for (const char* bad : {"10", "-1", "x", "09"}) {
        EXPECT_NE(parse({"--images", "p", "--avif-speed", bad}).error.find("0 to 9"),
                  std::string::npos)
            << bad;
    }
    EXPECT_NE(usage_text().find("--avif-speed N"), std::string::npos);
}

TEST(Options, AnOriginReplacesTheImagesAndNeedsAPlaceForItsCopies) {
    const auto parsed = parse({"--origin",
                               "s3://b/p",
                               "--source-cache",
                               "c",
                               "--source-cache-bytes",
                               "1000",
                               "--max-source-bytes",
                               "10",
                               "--origin-revalidate",
                               "0",
                               "--origin-timeout",
                               "3",
                               "--origin-stale-if-error",
                               "7",
                               "--s3-endpoint",
                               "http://e",
                               "--s3-region",
                               "r",
                               "--s3-path-style",
                               "--s3-credentials",
                               "k"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const auto& options = *parsed.options;
    EXPECT_EQ(options.origin, "s3://b/p");
    EXPECT_EQ(options.source_cache, "c");
    EXPECT_EQ(options.source_cache_bytes, 1000u);
    EXPECT_EQ(options.max_source_bytes, 10u);
    EXPECT_EQ(options.origin_revalidate, 0u);
    EXPECT_EQ(options.origin_timeout, 3u);
    EXPECT_EQ(options.origin_stale_if_error, 7u);
    EXPECT_EQ(options.s3_endpoint, "http://e");
    EXPECT_EQ(options.s3_region, "r");
    EXPECT_TRUE(options.s3_path_style);
    EXPECT_EQ(options.s3_credentials, "k");

    const std::vector<std::pair<std::vector<std::string>, std::string>> mistakes = {
        {{"--origin", "http://o"}, "--source-cache"},
        {{"--origin", "http://o", "--images", "p", "--source-cache", "c"}, "not both"},
        {{"--origin", "http://o", "--source-cache", "c", "--origin-timeout", "0"}, "1 second"},
        {{"--origin", "http://o", "--source-cache", "c", "--max-source-bytes", "0"}, "bytes"},
    };
    for (const auto& [arguments, named] : mistakes)
        EXPECT_NE(parse(arguments).error.find(named), std::string::npos) << named;
}

TEST(Options, ThreadsFollowTheCores) {
    // No count known (0) still gives a loop thread.
    EXPECT_EQ(default_thread_count(0), 1u);
    EXPECT_EQ(default_thread_count(8), 8u);
}

TEST(Options, ConversionAdmission) {
    const auto defaults = parse({"--images", "p"});
    ASSERT_TRUE(defaults.options) << defaults.error;
    EXPECT_EQ(defaults.options->conversions, 0u);
    EXPECT_EQ(defaults.options->conversion_memory, 0u);
    EXPECT_EQ(defaults.options->queue, 64u);
    EXPECT_EQ(defaults.options->queue_wait, 10u);
    EXPECT_EQ(defaults.options->conversion_timeout, 30u);
    const auto parsed =
        parse({"--images", "p", "--conversions", "3", "--conversion-memory", "123456789012",
               "--queue", "0", "--queue-wait", "2", "--conversion-timeout", "5"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->conversions, 3u);
    EXPECT_EQ(parsed.options->conversion_memory, 123'456'789'012u);
    EXPECT_EQ(parsed.options->queue, 0u);
    EXPECT_EQ(parsed.options->queue_wait, 2u);
    EXPECT_EQ(parsed.options->conversion_timeout, 5u);
    for (const auto& bad : std::vector<std::vector<std::string>>{{"--conversions", "0"},
                                                                 {"--conversion-memory", "0"},
                                                                 {"--conversion-memory", "1G"},
                                                                 {"--queue", "-1"},
                                                                 {"--queue", "1025"},
                                                                 {"--queue-wait", "x"},
                                                                 {"--conversion-timeout", "0"}}) {
        std::vector<std::string> arguments{"--images", "p"};
        arguments.insert(arguments.end(), bad.begin(), bad.end());
        EXPECT_FALSE(parse(arguments).options) << bad[0] << ' ' << bad[1];
    }
    for (const char* option : {"--conversions", "--conversion-memory", "--queue ", "--queue-wait",
                               "--conversion-timeout"})
        EXPECT_NE(usage_text().find(option), std::string::npos) << option;
    EXPECT_EQ(default_conversion_count(0), 1u);
    EXPECT_EQ(default_conversion_count(6), 6u);
    EXPECT_EQ(default_conversion_memory(16'000'000'000), 4'000'000'000u);
    EXPECT_EQ(default_conversion_memory(0), 1u << 30);
}

TEST(ListenAddress, TakesHostAndPortOrAPortAlone) {
    EXPECT_EQ(listening_ports_option("127.0.0.1:8080"), "127.0.0.1:8080");
    EXPECT_EQ(listening_ports_option("9000"), "127.0.0.1:9000");
    EXPECT_EQ(listening_ports_option("0.0.0.0:0"), "0.0.0.0:0");
    for (const char* bad :
         {"", "127.0.0.1:", ":80", "host:http", "1.2.3.4:65536", "a b:1", "1,2:3"}) {
        EXPECT_EQ(listening_ports_option(bad), "") << bad;
    }
}

} // namespace
} // namespace quorin::host
