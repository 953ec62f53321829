// quorin-host as a CDN, a balancer and an operator see it: revalidation,
// caching lines, signed URLs, allowed sizes, /healthz, the access log and
// the metrics text. Real processes on free 127.0.0.1 ports.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

#include "support/end_to_end.h"
#include "support/host_process.h"
#include "support/http_client.h"
#include "support/temp_dir.h"

namespace quorin::test {
namespace {

using namespace std::chrono;

http_response get(const host_process& host, const std::string& target,
                  const std::vector<std::string>& headers = {}) {
    http_client client;
    return client.request(host.url(target), "GET", headers);
}

std::string read_text(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Revalidation : public ::testing::Test {
protected:
    void SetUp() override {
        images = dir.path() / "images";
        std::filesystem::create_directories(images);
        write_image(images / "photo.jpg", 400, 300);
        const auto module = install_module(dir.path() / "module", "cache");
        std::filesystem::create_directories(module.parent_path() / "cache");
        cache_root = module.parent_path() / "cache";
        host.emplace(
            std::vector<std::string>{"--images", images.string(), "--module", module.string()});
    }

    temp_dir dir;
    std::filesystem::path images;
    std::filesystem::path cache_root;
    std::optional<host_process> host;
};

TEST_F(Revalidation, CurrentCopiesGet304FromTheRequestAloneAndChangedSourcesANewTag) {
    const auto first = get(*host, "/photo.jpg?w=100");
    ASSERT_EQ(first.status, 200);
    const std::string etag = first.header("etag");
    EXPECT_TRUE(std::regex_match(etag, std::regex("\"[0-9a-f]{32}\""))) << etag;
    EXPECT_EQ(first.header("cache-control"), "public, max-age=86400");
    EXPECT_EQ(first.header("vary"), "Accept");
    const std::string last_modified = first.header("last-modified");
    ASSERT_FALSE(last_modified.empty());

    // Without the cache files, an answer that involved the module would
    // have to convert again; a 304 shows it was not asked.
    std::filesystem::remove_all(cache_root);
    std::filesystem::create_directories(cache_root);
    struct revalidation {
        std::string header;
        long status;
    };
    const revalidation cases[] = {
        {"If-None-Match: " + etag, 304},
        {"If-None-Match: \"other\", W/" + etag, 304},
        {"If-None-Match: \"other\"", 200},
        {"If-Modified-Since: " + last_modified, 304},
        {"If-Modified-Since: Fri, 01 Jan 2100 00:00:00 GMT", 304},
        {"If-Modified-Since: Sat, 01 Jan 2000 00:00:00 GMT", 200},
        {"If-Modified-Since: not a date", 200},
        // The tag decides when both are sent.
        {"If-None-Match: \"other\"\r\nIf-Modified-Since: " + last_modified, 200},
    };
    for (const auto& [header, status] : cases) {
        std::vector<std::string> headers;
        std::istringstream lines(header);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            headers.push_back(line);
        }
        // Each starts from an empty cache, so any 200 was converted anew.
        std::filesystem::remove_all(cache_root);
        std::filesystem::create_directories(cache_root);
        const auto answer = get(*host, "/photo.jpg?w=100", headers);
        EXPECT_EQ(answer.status, status) << header;
        EXPECT_EQ(answer.header("etag"), etag) << header;
        EXPECT_EQ(answer.header("cache-control"), "public, max-age=86400") << header;
        EXPECT_EQ(answer.header("vary"), "Accept") << header;
        if (status == 304) {
            EXPECT_TRUE(answer.body.empty()) << header;
            EXPECT_TRUE(std::filesystem::is_empty(cache_root)) << header;
        }
    }
    EXPECT_TRUE(host->wait_for_line(access_line_for("GET", "/photo.jpg?w=100", "304")));

    set_modification_time(images / "photo.jpg", system_clock::now() + hours(1));
    const auto changed = get(*host, "/photo.jpg?w=100", {"If-None-Match: " + etag});
    EXPECT_EQ(changed.status, 200);
    EXPECT_NE(changed.header("etag"), etag);
    EXPECT_FALSE(changed.body.empty());
}

TEST_F(Revalidation, ErrorAnswersAreNotStored) {
    for (const std::string target : {"/missing.jpg", "/photo.jpg?w=0", "/photo.jpg?x=1"}) {
        const auto answer = get(*host, target);
        EXPECT_GE(answer.status, 400) << target;
        EXPECT_EQ(answer.header("cache-control"), "no-store") << target;
        EXPECT_TRUE(answer.header("etag").empty()) << target;
    }
}

TEST_F(Revalidation, MetricsPassPrometheusFormatCheck) {
    get(*host, "/photo.jpg?w=50");
    get(*host, "/photo.jpg?w=50", {"If-Modified-Since: Fri, 01 Jan 2100 00:00:00 GMT"});
    get(*host, "/photo.jpg?w=0");
    get(*host, "/healthz");
    const std::string text = get(*host, "/metrics").body;
    EXPECT_NE(text.find("quorin_host_requests_total{outcome=\"not_modified\"} 1\n"),
              std::string::npos);
    EXPECT_NE(text.find("quorin_host_refusals_total{status=\"400\",cause=\"parameters\"} 1\n"),
              std::string::npos);
    EXPECT_NE(text.find("quorin_host_requests_total{outcome=\"page\"} 0\n"), std::string::npos)
        << "/healthz is no image request and no page";
    EXPECT_TRUE(std::regex_search(text, std::regex("\nquorin_host_stored_bytes_total [1-9]")));
    EXPECT_TRUE(std::regex_search(
        text,
        std::regex("\nquorin_host_build_info\\{version=\"[0-9]+\\.[0-9]+\\.[0-9]+\"\\} 1\n")));

    if (!std::filesystem::exists("/usr/bin/promtool")) {
        GTEST_SKIP() << "promtool (Debian package prometheus) is not installed";
    }
    const auto file = dir.path() / "metrics.txt";
    std::ofstream(file) << text;
    const std::string command = "/usr/bin/promtool check metrics < '" + file.string() + "' 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    EXPECT_EQ(::pclose(pipe), 0) << output;
    EXPECT_EQ(output, "") << output;
}

class Guarded : public ::testing::Test {
protected:
    void SetUp() override {
        images = dir.path() / "images";
        std::filesystem::create_directories(images / "sub");
        write_image(images / "sub" / "photo.jpg", 400, 300);
        write_image(images / "other.png", 200, 200);
        key = dir.path() / "key";
        std::ofstream(key) << "a secret of this test\n";
        log_file = dir.path() / "access.log";
        const auto module = install_module(dir.path() / "module", "cache");
        std::filesystem::create_directories(module.parent_path() / "cache");
        host.emplace(std::vector<std::string>{
            "--images", images.string(), "--module", module.string(), "--signing-key", key.string(),
            "--sizes", "160x160,320x240", "--max-age", "0", "--access-log", log_file.string(),
            "--drain-seconds", "60"});
    }

    // The drain would hold the host for a minute: the second signal ends it.
    void TearDown() override {
        host->send_signal(SIGTERM);
        host->wait_for_line(
            [](const std::string& line) { return line.find("draining") != std::string::npos; });
        EXPECT_EQ(host->stop(), 0);
    }

    std::string sign(const std::string& target) const {
        const auto run =
            run_host_to_end({"--signing-key", key.string(), "--sign", target}, seconds(30));
        EXPECT_EQ(run.exit_code, 0) << run.output;
        std::string url = run.output;
        while (!url.empty() && url.back() == '\n') url.pop_back();
        return url;
    }

    // Waits until the log file holds a line with `text`.
    bool log_shows(const std::filesystem::path& file, const std::string& text) const {
        for (int tries = 0; tries < 200; ++tries) {
            if (read_text(file).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(milliseconds(50));
        }
        return false;
    }

    temp_dir dir;
    std::filesystem::path images;
    std::filesystem::path key;
    std::filesystem::path log_file;
    std::optional<host_process> host;
};

TEST_F(Guarded, OnlySignedUrlsOfAllowedSizesAreServed) {
    const std::string good = sign("/sub/photo.jpg?w=160&h=160");
    ASSERT_TRUE(
        std::regex_match(good, std::regex("/sub/photo\\.jpg\\?h=160&w=160&sig=[-_A-Za-z0-9]{43}")))
        << good;
    const auto served = get(*host, good);
    EXPECT_EQ(served.status, 200);
    EXPECT_EQ(served.header("cache-control"), "no-cache");
    EXPECT_FALSE(served.header("etag").empty());

    const std::string sig = good.substr(good.find("sig="));
    std::string flipped = good;
    flipped.back() = flipped.back() == 'A' ? 'B' : 'A';
    struct request {
        std::string target;
        long status;
    };
    const request cases[] = {
        {"/sub/photo.jpg?" + sig + "&w=160&h=160", 200}, // order does not matter
        {"/sub/photo.jpg?w=160&h=160", 403},
        {flipped, 403},
        {"/sub/photo.jpg?w=161&h=160&" + sig, 403},
        {"/other.png?w=160&h=160&" + sig, 403},
        {"/sub/photo.jpg?w=160&h=160&sig=", 403},
        {sign("/sub/photo.jpg?w=320&h=240"), 200},
        {sign("/sub/photo.jpg"), 200},
        {sign("/sub/photo.jpg?w=100&h=100"), 400},
        {sign("/sub/photo.jpg?w=160"), 400},
    };
    for (const auto& [target, status] : cases) {
        const auto answer = get(*host, target);
        EXPECT_EQ(answer.status, status) << target;
        if (status == 400) {
            EXPECT_EQ(answer.body, "w and h must be one of the boxes 160x160, 320x240\n");
        }
    }
    const std::string text = get(*host, "/metrics").body;
    EXPECT_NE(text.find("quorin_host_refusals_total{status=\"403\",cause=\"signature\"} 5\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("quorin_host_refusals_total{status=\"400\",cause=\"size\"} 2\n"),
              std::string::npos)
        << text;
}

TEST_F(Guarded, TheGallerySignsItsLinks) {
    const std::string page = get(*host, "/").body;
    const std::regex source("src=\"([^\"]+)\"");
    int thumbnails = 0;
    for (std::sregex_iterator it(page.begin(), page.end(), source), end; it != end; ++it) {
        const std::string target = std::regex_replace((*it)[1].str(), std::regex("&amp;"), "&");
        EXPECT_EQ(get(*host, target).status, 200) << target;
        ++thumbnails;
    }
    EXPECT_EQ(thumbnails, 2);
}

TEST_F(Guarded, LogLinesAreCombinedFormatAndTheFileIsReopenedOnHangUp) {
    http_client client;
    client.request(host->url("/healthz"), "GET",
                   {"Referer: http://example.test/page", "User-Agent: tester \"quoted\""});
    const std::regex combined(
        R"re(^(\S+) - - \[(\d{2})/([A-Z][a-z]{2})/(\d{4}):(\d{2}):(\d{2}):(\d{2}) \+0000\] )re"
        R"re("([A-Z]+) (\S+) (HTTP/\d\.\d)" (\d{3}) (\d+|-) "((?:[^"\\]|\\.)*)" )re"
        R"re("((?:[^"\\]|\\.)*)" (hit|stored|direct|304|-) (\d+\.\d{3})ms$)re");
    ASSERT_TRUE(log_shows(log_file, "/healthz"));
    std::smatch match;
    const std::string text = read_text(log_file);
    const std::string line = text.substr(0, text.find('\n'));
    ASSERT_TRUE(std::regex_match(line, match, combined)) << line;
    EXPECT_EQ(match[1], "127.0.0.1");
    EXPECT_EQ(match[8], "GET");
    EXPECT_EQ(match[9], "/healthz");
    EXPECT_EQ(match[11], "200");
    EXPECT_EQ(match[13], "http://example.test/page");
    // Quotes inside a field are written as \xHH so no field can end early.
    EXPECT_EQ(match[14], "tester \\x22quoted\\x22");

    const auto rotated = dir.path() / "access.log.1";
    std::filesystem::rename(log_file, rotated);
    host->send_signal(SIGHUP);
    // The reopen happens at some point after the signal: ask until a line
    // lands in the new file.
    bool reopened = false;
    for (int tries = 0; tries < 100 && !reopened; ++tries) {
        client.request(host->url("/sub/photo.jpg?after-hup"), "GET");
        reopened = std::filesystem::exists(log_file) &&
                   read_text(log_file).find("after-hup") != std::string::npos;
        if (!reopened) std::this_thread::sleep_for(milliseconds(50));
    }
    EXPECT_TRUE(reopened);
    EXPECT_NE(read_text(rotated).find("/healthz"), std::string::npos);
}

TEST_F(Guarded, HealthzSays503WhileDraining) {
    const auto healthy = get(*host, "/healthz");
    EXPECT_EQ(healthy.status, 200);
    EXPECT_EQ(healthy.body, "ok\n");
    EXPECT_EQ(healthy.header("cache-control"), "no-store");

    host->send_signal(SIGTERM);
    ASSERT_TRUE(host->wait_for_line(
        [](const std::string& line) { return line.find("draining") != std::string::npos; }));
    const auto draining = get(*host, "/healthz");
    EXPECT_EQ(draining.status, 503);
    EXPECT_EQ(draining.header("cache-control"), "no-store");
    // Work in flight is still served meanwhile.
    EXPECT_EQ(get(*host, sign("/sub/photo.jpg")).status, 200);
    // A second signal (TearDown) stops at once, long before the drain ends.
}

} // namespace
} // namespace quorin::test
