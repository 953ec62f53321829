// quorin-host serving the files of a real nginx on 127.0.0.1: fetched once,
// kept, revalidated after the interval, and every way the origin can fail
// answered with a status of its own.
#include <future>
#include <gtest/gtest.h>
#include <latch>

#include "support/decoded_image.h"
#include "support/end_to_end.h"
#include "support/host_process.h"
#include "support/http_client.h"
#include "support/served_origin.h"
#include "support/temp_dir.h"

namespace quorin::test {
namespace {

using namespace std::chrono_literals;

// The value of one series in a /metrics text; -1 when absent.
double series(const std::string& text, const std::string& name) {
    const auto at = text.find("\n" + name + " ");
    return at == std::string::npos ? -1.0 : std::stod(text.substr(at + name.size() + 2));
}

std::uint64_t bytes_below(const std::filesystem::path& folder) {
    std::uint64_t total = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        total += entry.is_regular_file() ? entry.file_size() : 0;
    return total;
}

class Origin : public ::testing::Test {
protected:
    Origin() {
        std::filesystem::create_directories(www / "sub");
        write_image(www / "photo.jpg", 800, 600);
        write_image(www / "sub" / "deep.png", 300, 200);
        write_image(www / "a b#1.jpg", 64, 48);
        write_image(www / "big.bmp", 1000, 1000); // 3 MB
    }

    void start_nginx() {
        // A redirect within the origin, one to another host, a failing
        // location.
        nginx = std::make_unique<nginx_origin>(
            dir.path() / "nginx", www,
            "    location = /moved.jpg { return 301 /photo.jpg; }\n"
            "    location = /elsewhere.jpg { return 302 http://127.0.0.2:1/photo.jpg; }\n"
            "    location = /broken.jpg { return 500; }\n");
    }

    // A host of the origin at `url` with its own module, cache and copies.
    std::unique_ptr<host_process> start_host(const std::string& url,
                                             std::vector<std::string> extra = {}) {
        const auto name = "host" + std::to_string(++hosts);
        const auto module = install_module(dir.path() / name, "cache");
        std::filesystem::create_directories(module.parent_path() / "cache");
        std::vector<std::string> arguments{
            "--origin",       url,
            "--source-cache", (dir.path() / name / "sources").string(),
            "--module",       module.string()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return std::make_unique<host_process>(arguments);
    }

    std::filesystem::path copies(int host) const {
        return dir.path() / ("host" + std::to_string(host)) / "sources" / "copies";
    }

    temp_dir dir;
    std::filesystem::path www = dir.path() / "www";
    std::unique_ptr<nginx_origin> nginx;
    int hosts = 0;
};

TEST_F(Origin, AKeptSourceServesNewSizesAndHitsWithoutAskingTheOrigin) {
    start_nginx();
    auto host = start_host(nginx->url());
    http_client client;
    const auto first = client.request(host->url("/photo.jpg?w=100"));
    ASSERT_EQ(first.status, 200) << first.body;
    EXPECT_EQ(decode(first.body).width, 100u);
    EXPECT_EQ(client.request(host->url("/photo.jpg?w=100")).body, first.body);
    EXPECT_EQ(decode(client.request(host->url("/photo.jpg?w=50")).body).width, 50u);
    EXPECT_EQ(decode(client.request(host->url("/sub/deep.png?w=30")).body).width, 30u);
    EXPECT_TRUE(host->wait_for_line(access_line_for("GET", "/photo.jpg?w=100", "hit")));
    EXPECT_TRUE(host->wait_for_line(access_line_for("GET", "/photo.jpg?w=50", "stored")));
    EXPECT_EQ(nginx->requests_with("GET /photo.jpg "), 1u);
    EXPECT_EQ(nginx->requests_with("GET /sub/deep.png "), 1u);
    // The second fetch went over the first one's connection.
    EXPECT_EQ(nginx->requests_with(" c=2"), 1u);
    // The source time is the origin's date of the file.
    EXPECT_EQ(first.header("last-modified"),
              http_client().request(nginx->url() + "/photo.jpg", "HEAD").header("last-modified"));
    const std::string metrics = client.request(host->url("/metrics")).body;
    EXPECT_EQ(series(metrics, "quorin_host_origin_requests_total{result=\"fetched\"}"), 2);
    EXPECT_EQ(series(metrics, "quorin_host_origin_body_bytes_total"),
              std::filesystem::file_size(www / "photo.jpg") +
                  std::filesystem::file_size(www / "sub" / "deep.png"));
}

TEST_F(Origin, AChangeAtTheOriginIsSeenOnceTheIntervalHasPassed) {
    start_nginx();
    write_image(www / "changing.jpg", 400, 300);
    auto host = start_host(nginx->url(), {"--origin-revalidate", "4"});
    http_client client;
    const std::string target = "/changing.jpg?w=100";
    EXPECT_EQ(decode(client.request(host->url(target)).body).height, 75u);
    std::this_thread::sleep_for(4200ms);
    // Unchanged: requests at once make one conditional request, answered
    // 304, and the kept conversion is still a hit.
    std::vector<std::future<unsigned>> together;
    std::latch ready(6);
    for (int i = 0; i < 6; ++i) {
        together.push_back(std::async(std::launch::async, [&] {
            http_client own;
            ready.arrive_and_wait();
            return decode(own.request(host->url(target)).body).height;
        }));
    }
    for (auto& height : together) EXPECT_EQ(height.get(), 75u);
    EXPECT_EQ(nginx->requests_with("GET /changing.jpg HTTP/1.1\" 304 "), 1u);
    EXPECT_TRUE(host->wait_for_lines(access_line_for("GET", target, "hit"), 6));

    write_image(www / "changing.jpg", 300, 400);
    set_modification_time(www / "changing.jpg", std::chrono::system_clock::now() + 10s);
    // Within the interval the kept version is still served (the interval
    // is long enough for a loaded machine to get here in it).
    EXPECT_EQ(decode(client.request(host->url(target)).body).height, 75u);
    std::this_thread::sleep_for(4200ms);
    const auto changed = client.request(host->url(target));
    EXPECT_EQ(decode(changed.body).height, 133u);
    EXPECT_TRUE(host->wait_for_lines(access_line_for("GET", target, "stored"), 2));
    EXPECT_EQ(nginx->requests_with("GET /changing.jpg HTTP/1.1\" 200 "), 2u);

    // Gone at the origin: gone here too, with its copy.
    std::filesystem::remove(www / "changing.jpg");
    std::this_thread::sleep_for(4200ms);
    EXPECT_EQ(client.request(host->url(target)).status, 404);
    EXPECT_FALSE(std::filesystem::exists(copies(1) / "changing.jpg"));
}

TEST_F(Origin, WhatTheOriginAnswersAndWhatNoRequestMayAskBecomeStatuses) {
    start_nginx();
    auto host = start_host(nginx->url(), {"--max-source-bytes", "1000000"});
    const std::vector<std::pair<std::string, long>> cases = {
        {"/missing.jpg?w=10", 404},
        {"/broken.jpg?w=10", 502},
        {"/elsewhere.jpg?w=10", 502},
        {"/big.bmp?w=10", 422},
        {"/moved.jpg?w=10", 200},
        {"/a%20b%231.jpg?w=10", 200},
        // The refusals of the images directory hold for an origin too.
        {"/../outside/secret.jpg", 403},
        {"/sub/%2e%2e/%2e%2e/outside/secret.jpg", 403},
        {"/photo.jpg%00.png", 400},
        {"/", 200},
    };
    for (const auto& [target, status] : cases) {
        const auto response = http_client().request(host->url(target));
        EXPECT_EQ(response.status, status) << target << ": " << response.body;
        if (status >= 400) {
            EXPECT_EQ(response.header("cache-control"), "no-store") << target;
        }
    }
    EXPECT_EQ(nginx->requests_with(".."), 0u);
    EXPECT_EQ(nginx->requests_with("secret"), 0u);
    EXPECT_EQ(nginx->requests_with("127.0.0.2"), 0u);
    EXPECT_EQ(nginx->requests_with("GET /a%20b%231.jpg "), 1u);
    // The oversized source was not read past the limit.
    const std::string metrics = http_client().request(host->url("/metrics")).body;
    EXPECT_EQ(series(metrics, "quorin_host_origin_requests_total{result=\"too_large\"}"), 1);
    EXPECT_LT(series(metrics, "quorin_host_origin_body_bytes_total"), 1'000'000);
    EXPECT_EQ(series(metrics, "quorin_host_origin_requests_total{result=\"redirect_refused\"}"), 1);
}

TEST_F(Origin, AnOriginThatIsDownLeavesKnownVersionsServedForAWhile) {
    start_nginx();
    auto host =
        start_host(nginx->url(), {"--origin-revalidate", "1", "--origin-stale-if-error", "4"});
    http_client client;
    ASSERT_EQ(client.request(host->url("/photo.jpg?w=100")).status, 200);
    nginx->stop();
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(client.request(host->url("/photo.jpg?w=100")).status, 200);
    EXPECT_EQ(client.request(host->url("/photo.jpg?w=60")).status, 200);
    const auto unknown = client.request(host->url("/sub/deep.png?w=10"));
    EXPECT_EQ(unknown.status, 502);
    EXPECT_EQ(unknown.header("cache-control"), "no-store");
    EXPECT_EQ(series(client.request(host->url("/metrics")).body,
                     "quorin_host_origin_stale_answers_total"),
              2);
    std::this_thread::sleep_for(3500ms);
    EXPECT_EQ(client.request(host->url("/photo.jpg?w=100")).status, 502);
}

TEST_F(Origin, SlowAndCutShortOriginsGiveGatewayErrorsAndKeepNothing) {
    stub_origin silent(stub_origin::manner::silent);
    stub_origin cut_short(stub_origin::manner::cut_short);
    auto slow_host = start_host(silent.url(), {"--origin-timeout", "1"});
    auto cut_host = start_host(cut_short.url());
    const auto start = std::chrono::steady_clock::now();
    const auto slow = http_client().request(slow_host->url("/photo.jpg?w=10"));
    EXPECT_EQ(slow.status, 504);
    EXPECT_EQ(slow.header("cache-control"), "no-store");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(http_client().request(cut_host->url("/photo.jpg?w=10")).status, 502);
    for (int host : {1, 2}) EXPECT_EQ(bytes_below(copies(host).parent_path()), 0u) << host;
}

TEST_F(Origin, AnUndatedSourceIsDatedWhenItsTagWasFirstSeen) {
    stub_origin undated(stub_origin::manner::undated);
    undated.serve(read_file(www / "photo.jpg"), "\"one\"");
    auto host = start_host(undated.url(), {"--origin-revalidate", "1"});
    http_client client;
    const auto first = client.request(host->url("/photo.jpg?w=40"));
    ASSERT_EQ(first.status, 200);
    // Fetched again whole, with the same tag: the same version.
    std::this_thread::sleep_for(2200ms);
    const auto same = client.request(host->url("/photo.jpg?w=40"));
    EXPECT_EQ(same.header("last-modified"), first.header("last-modified"));
    EXPECT_TRUE(host->wait_for_line(access_line_for("GET", "/photo.jpg?w=40", "hit")));
    // A new tag is a new version, dated when it was first seen.
    undated.serve(read_file(www / "sub" / "deep.png"), "\"two\"");
    std::this_thread::sleep_for(1200ms);
    const auto changed = client.request(host->url("/photo.jpg?w=40"));
    EXPECT_EQ(decode(changed.body).height, 27u);
    EXPECT_NE(changed.header("last-modified"), first.header("last-modified"));
}

TEST_F(Origin, AnHttpsOriginMustShowACertificateTheSystemTrusts) {
    nginx = std::make_unique<nginx_origin>(dir.path() / "nginx", www, "", true);
    ASSERT_EQ(nginx->url().rfind("https://", 0), 0u);
    auto host = start_host(nginx->url());
    const auto refused = http_client().request(host->url("/photo.jpg?w=10"));
    EXPECT_EQ(refused.status, 502) << refused.body;
    EXPECT_EQ(nginx->requests_with("GET /photo.jpg"), 0u);
}

TEST_F(Origin, KeptCopiesStayWithinTheirByteBound) {
    std::vector<std::string> names;
    for (int i = 0; i < 6; ++i) {
        names.push_back("p" + std::to_string(i) + ".bmp");
        write_image(www / names.back(), 100, 100); // 30 KB each
    }
    start_nginx();
    const auto one = std::filesystem::file_size(www / names.front());
    const std::uint64_t bound = one * 5 / 2;
    auto host = start_host(nginx->url(), {"--source-cache-bytes", std::to_string(bound)});
    http_client client;
    for (const auto& name : names) {
        ASSERT_EQ(client.request(host->url("/" + name + "?w=10")).status, 200) << name;
        EXPECT_LE(bytes_below(copies(1)), bound) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(copies(1) / names.front()));
    EXPECT_TRUE(std::filesystem::exists(copies(1) / names.back()));
    // The latest is kept: a new size of it asks the origin nothing.
    EXPECT_EQ(client.request(host->url("/" + names.back() + "?w=20")).status, 200);
    EXPECT_EQ(nginx->requests_with("GET /" + names.back() + " "), 1u);
}

TEST_F(Origin, CredentialsInTheOriginUrlShowNowhere) {
    start_nginx();
    const std::string password = "pa55-w0rd-never-shown";
    auto host =
        start_host("http://reader:" + password + "@127.0.0.1:" + std::to_string(nginx->port()));
    http_client client;
    for (const char* target : {"/photo.jpg?w=10", "/missing.jpg", "/broken.jpg", "/metrics"}) {
        const auto response = client.request(host->url(target));
        EXPECT_EQ(response.body.find(password), std::string::npos) << target;
    }
    EXPECT_EQ(host->count_lines([&](const std::string& line) {
        return line.find(password) != std::string::npos;
    }),
              0u);
    EXPECT_TRUE(host->wait_for_line(access_line_for("GET", "/photo.jpg?w=10", "stored")));
}

} // namespace
} // namespace quorin::test
