// quorin-host's start, its failures, its stop, and the cases where the
// cache cannot help: run as a real process.
#include <FreeImage.h>
#include <gtest/gtest.h>

#include "support/decoded_image.h"
#include "support/end_to_end.h"
#include "support/host_process.h"
#include "support/http_client.h"
#include "support/temp_dir.h"

namespace quorin::test {
namespace {

constexpr auto run_timeout = std::chrono::seconds(60);

class Startup : public ::testing::Test {
protected:
    Startup() {
        std::filesystem::create_directories(images);
        write_image(images / "photo.jpg", 800, 600);
    }

    std::vector<std::string>
    arguments_for(const std::vector<std::filesystem::path>& modules) const {
        std::vector<std::string> arguments{"--images", images.string()};
        for (const auto& module : modules) {
            arguments.push_back("--module");
            arguments.push_back(module.string());
        }
        return arguments;
    }

    temp_dir dir;
    std::filesystem::path images = dir.path() / "images";
};

TEST_F(Startup, AModuleThatDoesNotStartStopsTheHostWithItsName) {
    const auto module = install_module(dir.path() / "broken", "cache");
    write_file(module.parent_path() / "quorin.setting",
               "<?xml version='1.0'?><quorin><CacheFolderPath>");
    const auto run = run_host_to_end(arguments_for({module}), run_timeout);
    ASSERT_TRUE(run.exit_code);
    EXPECT_NE(*run.exit_code, 0);
    EXPECT_NE(run.output.find(module.string()), std::string::npos) << run.output;
    EXPECT_NE(run.output.find((module.parent_path() / "quorin.setting").string()),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find(" at http://"), std::string::npos) << run.output;
}

TEST_F(Startup, UsageMistakesAndMissingDirectoriesAreReported) {
    const auto module = install_module(dir.path() / "module", "cache");
    const auto no_images = run_host_to_end(
        {"--images", (dir.path() / "nope").string(), "--module", module.string()}, run_timeout);
    EXPECT_EQ(no_images.exit_code, 1);
    EXPECT_NE(no_images.output.find("does not exist"), std::string::npos) << no_images.output;

    const auto unknown = run_host_to_end({"--imagez", "x"}, run_timeout);
    EXPECT_EQ(unknown.exit_code, 2);
    EXPECT_NE(unknown.output.find("usage:"), std::string::npos) << unknown.output;

    const auto help = run_host_to_end({"--help"}, run_timeout);
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.output.find("--module PATH"), std::string::npos) << help.output;
}

TEST_F(Startup, MakesSampleImages) {
    const auto samples = dir.path() / "samples";
    const auto run = run_host_to_end({"--make-samples", samples.string()}, run_timeout);
    EXPECT_EQ(run.exit_code, 0) << run.output;
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(samples)) {
        const auto image = decode(read_file(entry.path()));
        EXPECT_NE(image.format, -1) << entry.path();
        EXPECT_GE(image.width, 100u) << entry.path();
        ++count;
    }
    EXPECT_GE(count, 5u);
}

TEST_F(Startup, StopsCleanlyOnSigterm) {
    const auto module = install_module(dir.path() / "module", "cache");
    std::filesystem::create_directories(module.parent_path() / "cache");
    host_process host(arguments_for({module}));
    EXPECT_EQ(http_client().request(host.url("/photo.jpg?w=10")).status, 200);
    EXPECT_EQ(host.stop(), 0);
    EXPECT_TRUE(host.wait_for_line(
        [](const std::string& line) { return line.find("stopping") != std::string::npos; }));
}

// Each kept-alive connection holds one worker while it stays open. With
// the default workers, 32 clients that keep their connections all get
// answers at once: none waits for another's connection to time out, so the
// first client's connection is still the one it opened.
TEST_F(Startup, DefaultWorkersServeEveryKeptAliveClientAtOnce) {
    const auto module = install_module(dir.path() / "module", "cache");
    std::filesystem::create_directories(module.parent_path() / "cache");
    host_process host(arguments_for({module}));
    std::vector<std::unique_ptr<http_client>> clients;
    for (int i = 0; i < 32; ++i) {
        clients.push_back(std::make_unique<http_client>());
        const auto response = clients.back()->request(host.url("/metrics"));
        EXPECT_EQ(response.status, 200) << "client " << i;
        EXPECT_EQ(response.header("connection"), "keep-alive") << "client " << i;
    }
    for (std::size_t i = 0; i < clients.size(); ++i) {
        EXPECT_EQ(clients[i]->request(host.url("/metrics")).new_connections, 0) << "client " << i;
    }
    clients.clear();
    EXPECT_EQ(host.stop(), 0);
}

// The settings name a cache folder that does not exist: the module starts
// but can store nothing, and the host answers every request itself.
TEST_F(Startup, AnswersDirectlyWhenTheCacheCannotStore) {
    const auto module = install_module(dir.path() / "module", "no-such-folder");
    host_process host(arguments_for({module}));
    http_client client;
    for (int round = 0; round < 2; ++round) {
        const auto response = client.request(host.url("/photo.jpg?w=80"));
        EXPECT_EQ(response.status, 200);
        EXPECT_EQ(response.header("content-type"), "image/jpeg");
        EXPECT_EQ(response.header("content-length"), std::to_string(response.body.size()));
        EXPECT_FALSE(response.header("last-modified").empty());
        const auto image = decode(response.body);
        EXPECT_EQ(image.format, FIF_JPEG);
        EXPECT_EQ(image.width, 80u);
        EXPECT_EQ(image.height, 60u);
    }
    const auto head = client.request(host.url("/photo.jpg?w=80"), "HEAD");
    EXPECT_EQ(head.status, 200);
    EXPECT_TRUE(head.body.empty());
    EXPECT_NE(head.header("content-length"), "0");
    EXPECT_TRUE(host.wait_for_lines(access_line_for("GET", "/photo.jpg?w=80", "direct"), 2));
    EXPECT_TRUE(host.wait_for_line(access_line_for("HEAD", "/photo.jpg?w=80", "direct")));
    EXPECT_FALSE(std::filesystem::exists(module.parent_path() / "no-such-folder"));
}

// A source whose estimate alone is more than the conversion memory is
// refused before it is decoded, and counted.
TEST_F(Startup, ASourceTooLargeForTheConversionMemoryIsRefused) {
    const auto module = install_module(dir.path() / "module", "cache");
    std::filesystem::create_directories(module.parent_path() / "cache");
    auto arguments = arguments_for({module});
    arguments.insert(arguments.end(), {"--conversion-memory", "100000"});
    host_process host(arguments);
    http_client client;
    const auto refused = client.request(host.url("/photo.jpg?w=10"));
    EXPECT_EQ(refused.status, 422);
    EXPECT_NE(refused.body.find("too large for the conversion memory"), std::string::npos);
    EXPECT_NE(client.request(host.url("/metrics"))
                  .body.find("quorin_host_refusals_total{status=\"422\",cause=\"memory\"} 1\n"),
              std::string::npos);
    EXPECT_TRUE(host.wait_for_line([](const std::string& line) {
        return line.find("\"GET /photo.jpg?w=10 HTTP/1.1\" 422 ") != std::string::npos;
    }));
    EXPECT_EQ(host.stop(), 0);
}

// Two modules in a chain: the request passes both, and the module next to
// the host's converter keeps the cache.
TEST_F(Startup, ServesThroughAChainOfTwoModules) {
    const auto first = install_module(dir.path() / "first", "cache");
    const auto second = install_module(dir.path() / "second", "cache");
    for (const auto& module : {first, second})
        std::filesystem::create_directories(module.parent_path() / "cache");
    host_process host(arguments_for({first, second}));
    http_client client;
    const auto stored = client.request(host.url("/photo.jpg?w=40"));
    const auto hit = client.request(host.url("/photo.jpg?w=40"));
    EXPECT_EQ(stored.status, 200);
    EXPECT_EQ(hit.body, stored.body);
    EXPECT_TRUE(host.wait_for_line(access_line_for("GET", "/photo.jpg?w=40", "hit")));

    const auto files_below = [](const std::filesystem::path& root) {
        std::size_t count = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
            count += entry.is_regular_file();
        return count;
    };
    EXPECT_EQ(files_below(first.parent_path() / "cache"), 0u);
    EXPECT_EQ(files_below(second.parent_path() / "cache"), 1u);
    EXPECT_EQ(host.stop(), 0);
}

} // namespace
} // namespace quorin::test
