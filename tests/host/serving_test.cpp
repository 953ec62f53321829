// quorin-host as a client sees it: a real process on a free 127.0.0.1
// port, with its own copy of quorin.so, settings and cache folder.
#include <FreeImage.h>
#include <gtest/gtest.h>
#include <latch>
#include <regex>
#include <set>
#include <thread>

#include "base/file_time.h"
#include "support/animated_gif_file.h"
#include "support/decoded_image.h"
#include "support/end_to_end.h"
#include "support/heif_file.h"
#include "support/host_process.h"
#include "support/http_client.h"
#include "support/temp_dir.h"
#include "variant/cache_key.h"

namespace quorin::test {
namespace {

using namespace std::chrono;

const auto dated_time = sys_days{2021y / March / 4} + 5h + 6min + 7s + 500ms;

class Serving : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new temp_dir();
        images = dir->path() / "images";
        std::filesystem::create_directories(images / "sub");
        std::filesystem::create_directories(dir->path() / "outside");
        write_image(images / "photo.jpg", 1600, 1200);
        write_image(images / "tall.png", 400, 800);
        write_image(images / "pattern.gif", 300, 200);
        write_image(images / "old.bmp", 120, 90);
        write_image(images / "sub" / "deep.jpg", 640, 480);
        write_image(images / "touched.jpg", 400, 300);
        write_image(images / "crowd.jpg", 2000, 1500);
        write_image(images / "dated.png", 64, 64);
        set_modification_time(images / "dated.png",
                              time_point_cast<system_clock::duration>(dated_time));
        write_file(images / "notes.jpg", "a text file with an image's name");
        write_file(dir->path() / "outside" / "secret.jpg", "SECRET");
        std::filesystem::create_symlink(dir->path() / "outside" / "secret.jpg",
                                        images / "escape.jpg");

        const auto module = install_module(dir->path() / "module", "cache");
        cache_root = module.parent_path() / "cache";
        std::filesystem::create_directories(cache_root);
        host = new host_process(
            {"--images", images.string(), "--module", module.string(), "--threads", "40"});
    }

    static void TearDownTestSuite() {
        EXPECT_EQ(host->stop(), 0);
        delete host;
        delete dir;
    }

    static http_response get(const std::string& target, const std::string& method = "GET") {
        http_client client;
        return client.request(host->url(target), method);
    }

    // Waits for the access-log line of a request.
    static std::optional<std::string> logged(const std::string& method, const std::string& target,
                                             const std::string& outcome) {
        return host->wait_for_line(access_line_for(method, target, outcome));
    }

    static inline temp_dir* dir = nullptr;
    static inline host_process* host = nullptr;
    static inline std::filesystem::path images;
    static inline std::filesystem::path cache_root;
};

TEST_F(Serving, ConvertedAnswersHaveTheRequestedSizeAndFormat) {
    struct expectation {
        std::string target;
        std::string content_type;
        int format;
        unsigned width, height;
    };
    const std::vector<expectation> cases = {
        {"/photo.jpg?w=320", "image/jpeg", FIF_JPEG, 320, 240},
        {"/photo.jpg?h=60&format=png", "image/png", FIF_PNG, 80, 60},
        {"/tall.png?w=100&h=100", "image/png", FIF_PNG, 50, 100},
        {"/pattern.gif?format=webp&w=150", "image/webp", FIF_WEBP, 150, 100},
        {"/pattern.gif?h=20", "image/gif", FIF_GIF, 30, 20},
        {"/old.bmp?format=gif", "image/gif", FIF_GIF, 120, 90},
        {"/photo.jpg?w=5000&q=30", "image/jpeg", FIF_JPEG, 1600, 1200},
        {"/sub/deep.jpg?format=bmp&w=64", "image/bmp", FIF_BMP, 64, 48},
        {"/photo.jpg?w=100&h=100&fit=cover", "image/jpeg", FIF_JPEG, 100, 100},
        {"/tall.png?w=300&h=100&fit=cover&gravity=south", "image/png", FIF_PNG, 300, 100},
        {"/tall.png?w=5000&h=100&fit=cover", "image/png", FIF_PNG, 400, 8},
        {"/pattern.gif?w=50&h=150&fit=fill", "image/gif", FIF_GIF, 50, 150},
        {"/photo.jpg?w=90&h=10&fit=fill&format=png", "image/png", FIF_PNG, 90, 10},
        {"/photo.jpg?w=100&dpr=2", "image/jpeg", FIF_JPEG, 200, 150},
        {"/photo.jpg?w=1000&dpr=4", "image/jpeg", FIF_JPEG, 1600, 1200},
        {"/photo.jpg?w=100&h=100&dpr=1.5&fit=cover", "image/jpeg", FIF_JPEG, 150, 150},
        {"/photo.jpg?crop=400,300,800,600&w=200", "image/jpeg", FIF_JPEG, 200, 150},
        {"/photo.jpg?w=100&h=40&fit=cover&gravity=smart", "image/jpeg", FIF_JPEG, 100, 40},
        {"/pattern.gif?crop=0,0,150,100&w=50&dpr=2", "image/gif", FIF_GIF, 100, 67},
    };
    for (const auto& expected : cases) {
        const auto response = get(expected.target);
        ASSERT_EQ(response.status, 200) << expected.target << ": " << response.body;
        EXPECT_EQ(response.header("content-type"), expected.content_type) << expected.target;
        EXPECT_EQ(response.header("content-length"), std::to_string(response.body.size()))
            << expected.target;
        const auto image = decode(response.body);
        EXPECT_EQ(image.format, expected.format) << expected.target;
        EXPECT_EQ(image.width, expected.width) << expected.target;
        EXPECT_EQ(image.height, expected.height) << expected.target;
    }
}

TEST_F(Serving, TheSecondRequestIsACacheHitFromTheNamedFile) {
    const auto first = get("/sub/deep.jpg?w=100");
    ASSERT_EQ(first.status, 200);
    EXPECT_TRUE(logged("GET", "/sub/deep.jpg?w=100", "stored"));
    const auto second = get("/sub/deep.jpg?w=100");
    ASSERT_EQ(second.status, 200);
    EXPECT_TRUE(logged("GET", "/sub/deep.jpg?w=100", "hit"));
    EXPECT_EQ(second.body, first.body);

    host::conversion_parameters parameters;
    parameters.width = 100;
    const host::resize_plan plan{{640, 480}, {0, 0, 640, 480}, {100, 75}};
    const auto name = host::cache_name("sub/deep.jpg", parameters, plan, host::output_format::jpeg);
    const auto file = cached_file(cache_root, name);
    ASSERT_TRUE(std::filesystem::exists(file)) << file;
    EXPECT_EQ(read_file(file), first.body);
}

TEST_F(Serving, RequestsForTheSameImageShareOneCacheFileAndTag) {
    write_image(images / "canon.jpg", 1600, 1200);
    write_image(images / "canon.png", 400, 300);
    const auto cache_files = [] {
        std::size_t count = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(cache_root))
            count += entry.path().filename().string().starts_with("canon_") ? 1 : 0;
        return count;
    };
    const std::vector<std::vector<std::string>> groups = {
        {"/canon.jpg?w=5000", "/canon.jpg?w=6000", "/canon.jpg?w=7000", "/canon.jpg"},
        {"/canon.png?q=10&w=100", "/canon.png?w=100&q=20", "/canon.png?q=30&w=100"},
        {"/canon.jpg?w=100", "/canon.jpg?w=100&q=85", "/canon.jpg?q=85&w=100",
         "/canon.jpg?h=75&fit=inside", "/canon.jpg?fit=fill&w=100&h=75"},
        {"/canon.jpg?w=300&h=300&fit=cover&gravity=north", "/canon.jpg?fit=cover&h=300&w=300"},
        {"/canon.jpg?w=60&dpr=2", "/canon.jpg?w=120&dpr=1", "/canon.jpg?dpr=4&w=30"},
        {"/canon.jpg?crop=200,0,1200,1200&w=100", "/canon.jpg?w=100&h=100&fit=cover&dpr=1"},
    };
    std::set<std::string> tags;
    for (const auto& group : groups) {
        const std::size_t before = cache_files();
        const auto first = get(group.front());
        ASSERT_EQ(first.status, 200) << group.front();
        for (const auto& target : group) {
            const auto answer = get(target);
            EXPECT_EQ(answer.header("etag"), first.header("etag")) << target;
            EXPECT_EQ(answer.body, first.body) << target;
        }
        EXPECT_EQ(cache_files(), before + 1) << group.front();
        tags.insert(first.header("etag"));
    }
    EXPECT_EQ(tags.size(), groups.size());
    std::filesystem::remove(images / "canon.jpg");
    std::filesystem::remove(images / "canon.png");
}

TEST_F(Serving, AutoFormatGivesAvifOrWebpToClientsThatTakeThem) {
    http_client client;
    const std::string url = host->url("/photo.jpg?w=64&format=auto");
    const auto avif = client.request(url, "GET", {"Accept: image/avif,image/webp,*/*;q=0.8"});
    const auto webp = client.request(url, "GET", {"Accept: image/avif;q=0,image/webp,*/*"});
    const auto plain = client.request(url, "GET", {"Accept: image/*,*/*;q=0.8"});
    const auto refused = client.request(url, "GET", {"Accept: image/webp;q=0, */*"});
    EXPECT_EQ(avif.header("content-type"), "image/avif");
    EXPECT_EQ(decode(avif.body).width, 64u);
    EXPECT_EQ(webp.header("content-type"), "image/webp");
    EXPECT_EQ(decode(webp.body).format, FIF_WEBP);
    for (const auto* other : {&plain, &refused}) {
        EXPECT_EQ(other->header("content-type"), "image/jpeg");
        EXPECT_EQ(decode(other->body).width, 64u);
        EXPECT_EQ(other->header("etag"), plain.header("etag"));
    }
    EXPECT_NE(webp.header("etag"), plain.header("etag"));
    EXPECT_NE(avif.header("etag"), webp.header("etag"));

    const std::string webp_tag = "If-None-Match: " + webp.header("etag");
    const auto current = client.request(url, "GET", {"Accept: image/webp", webp_tag});
    EXPECT_EQ(current.status, 304);
    // The WebP copy is no answer for a client that does not take WebP.
    const auto other_variant = client.request(url, "GET", {"Accept: */*", webp_tag});
    EXPECT_EQ(other_variant.status, 200);
    for (const auto* answer : {&avif, &webp, &plain, &current, &other_variant})
        EXPECT_EQ(answer->header("vary"), "Accept");
}

TEST_F(Serving, AvifAnswersAreStoredThenServedFromTheCacheAsAvif) {
    const std::string target = "/sub/deep.jpg?w=90&format=avif";
    const auto stored = get(target);
    ASSERT_EQ(stored.status, 200) << stored.body;
    EXPECT_TRUE(logged("GET", target, "stored"));
    const auto hit = get(target);
    ASSERT_EQ(hit.status, 200);
    EXPECT_TRUE(logged("GET", target, "hit"));
    for (const auto* answer : {&stored, &hit}) {
        EXPECT_EQ(answer->header("content-type"), "image/avif");
        EXPECT_EQ(decode(answer->body).width, 90u);
    }
    EXPECT_EQ(hit.body, stored.body);
}

// The workers know the host's own formats by the codes the server gave
// them, so a HEIF-container source converts as any other.
TEST_F(Serving, AvifAndHeicSourcesAreConvertedInTheWorkers) {
    for (const bool hevc : {false, true}) {
        const std::string name = hevc ? "camera.heic" : "camera.avif";
        write_file(images / name,
                   heif_file({.hevc = hevc, .width = 64, .height = 48}, [](unsigned, unsigned) {
                       return std::array{0.2, 0.5, 0.8, 1.0};
                   }));
        const auto answer = get("/" + name + "?w=32&format=png");
        ASSERT_EQ(answer.status, 200) << name << ": " << answer.body;
        EXPECT_EQ(decode(answer.body).width, 32u) << name;
    }
}

TEST_F(Serving, AnAnimatedGifAnsweredAsWebpStaysAnimated) {
    const test::gif_frame frame{.width = 40, .height = 30};
    ASSERT_TRUE(write_animated_gif(images / "moving.gif", 40, 30, {frame, frame, frame}, true));
    http_client client;
    const auto answer = client.request(host->url("/moving.gif?w=20&format=auto"), "GET",
                                       {"Accept: image/webp,*/*"});
    ASSERT_EQ(answer.status, 200);
    EXPECT_EQ(answer.header("content-type"), "image/webp");
    // The chunk that holds an animation's loop count, and one per frame.
    EXPECT_NE(answer.body.find("ANIM"), std::string::npos);
    std::size_t frames = 0;
    for (auto at = answer.body.find("ANMF"); at != std::string::npos;
         at = answer.body.find("ANMF", at + 4)) {
        ++frames;
    }
    EXPECT_EQ(frames, 3u);
    std::filesystem::remove(images / "moving.gif");
}

TEST_F(Serving, HeadHasTheHeadersAndNoBody) {
    const auto full = get("/photo.jpg?w=200");
    const auto head = get("/photo.jpg?w=200", "HEAD");
    EXPECT_EQ(head.status, 200);
    EXPECT_TRUE(head.body.empty());
    EXPECT_EQ(head.header("content-type"), "image/jpeg");
    EXPECT_EQ(head.header("content-length"), std::to_string(full.body.size()));
    EXPECT_EQ(head.header("last-modified"), full.header("last-modified"));
    EXPECT_TRUE(logged("HEAD", "/photo.jpg?w=200", "hit"));
    // A first request by HEAD stores the image as well.
    const auto first_head = get("/photo.jpg?w=201", "HEAD");
    EXPECT_EQ(first_head.status, 200);
    EXPECT_TRUE(first_head.body.empty());
    EXPECT_TRUE(logged("HEAD", "/photo.jpg?w=201", "stored"));
}

TEST_F(Serving, LastModifiedIsTheSourcesModificationTime) {
    const auto stored = get("/dated.png?w=32");
    const auto hit = get("/dated.png?w=32");
    EXPECT_EQ(stored.header("last-modified"), "Thu, 04 Mar 2021 05:06:07 GMT");
    EXPECT_EQ(hit.header("last-modified"), "Thu, 04 Mar 2021 05:06:07 GMT");
    EXPECT_TRUE(logged("GET", "/dated.png?w=32", "hit"));
    EXPECT_FALSE(stored.header("date").empty());
}

TEST_F(Serving, AChangedSourceIsConvertedAgain) {
    const auto before = get("/touched.jpg?w=100");
    EXPECT_EQ(decode(before.body).height, 75u);
    EXPECT_TRUE(logged("GET", "/touched.jpg?w=100", "stored"));

    write_image(images / "touched.jpg", 300, 400);
    set_modification_time(images / "touched.jpg", system_clock::now() + 10s);
    const auto after = get("/touched.jpg?w=100");
    EXPECT_EQ(decode(after.body).height, 133u);
    EXPECT_NE(after.header("last-modified"), before.header("last-modified"));
    EXPECT_TRUE(host->wait_for_lines(access_line_for("GET", "/touched.jpg?w=100", "stored"), 2));

    // Touched only: the time alone makes the entry stale.
    set_modification_time(images / "touched.jpg", system_clock::now() + 20s);
    EXPECT_EQ(get("/touched.jpg?w=100").status, 200);
    EXPECT_TRUE(host->wait_for_lines(access_line_for("GET", "/touched.jpg?w=100", "stored"), 3));
    EXPECT_EQ(host->count_lines(access_line_for("GET", "/touched.jpg?w=100", "hit")), 0u);
}

TEST_F(Serving, MistakesGetAStatusAndAShortText) {
    // Removed again below, so that the gallery shows convertible images only.
    write_file(images / "huge.jpg",
               with_claimed_jpeg_size(read_file(images / "photo.jpg"), 30000, 30000));
    const std::vector<std::pair<std::string, long>> cases = {
        {"/missing.jpg", 404},
        {"/sub", 404},
        {"/photo.jpg?w=0", 400},
        {"/photo.jpg?w=abc", 400},
        {"/photo.jpg?h=8193", 400},
        {"/photo.jpg?q=101", 400},
        {"/photo.jpg?size=3", 400},
        {"/photo.jpg?format=tiff", 400},
        {"/notes.jpg", 415},
        {"/huge.jpg?w=100", 422},
        {"/photo.jpg?fit=cover&w=9", 400},
        {"/photo.jpg?gravity=up", 400},
        {"/photo.jpg?crop=1000,0,601,10", 400},
        {"/pattern.gif?crop=0,0,10,201", 400},
        {"/photo.jpg?w=3000&dpr=3", 400},
    };
    for (const auto& [target, status] : cases) {
        const auto response = get(target);
        EXPECT_EQ(response.status, status) << target;
        EXPECT_EQ(response.header("content-type"), "text/plain; charset=utf-8") << target;
        EXPECT_FALSE(response.body.empty()) << target;
        EXPECT_EQ(response.header("content-length"), std::to_string(response.body.size()))
            << target;
    }
    for (const char* method : {"POST", "PUT", "DELETE", "OPTIONS"}) {
        const auto response = get("/photo.jpg", method);
        EXPECT_EQ(response.status, 405) << method;
        EXPECT_EQ(response.header("allow"), "GET, HEAD") << method;
    }
    EXPECT_TRUE(logged("GET", "/photo.jpg?w=0", "-"));
    std::filesystem::remove(images / "huge.jpg");
}

TEST_F(Serving, PathsCannotLeaveTheImagesDirectory) {
    for (const char* target :
         {"/../outside/secret.jpg", "/sub/%2e%2e/%2e%2e/outside/secret.jpg",
          "/sub/../../outside/secret.jpg", "/escape.jpg", "/escape.jpg?w=10"}) {
        const auto response = get(target);
        EXPECT_EQ(response.status, 403) << target;
        EXPECT_EQ(response.body.find("SECRET"), std::string::npos) << target;
    }
}

TEST_F(Serving, KeepAliveServesSeveralRequestsOnOneConnection) {
    http_client client;
    std::vector<http_response> responses;
    for (const char* target : {"/photo.jpg?w=64", "/photo.jpg?w=64", "/missing.jpg", "/",
                               "/metrics", "/photo.jpg?w=abc", "/photo.jpg?w=65"}) {
        responses.push_back(client.request(host->url(target)));
    }
    responses.push_back(client.request(host->url("/photo.jpg?w=64"), "HEAD"));
    responses.push_back(client.request(host->url("/photo.jpg"), "POST"));
    responses.push_back(client.request(host->url("/photo.jpg?w=64")));

    EXPECT_EQ(responses.front().new_connections, 1);
    for (std::size_t i = 1; i < responses.size(); ++i) {
        EXPECT_EQ(responses[i].new_connections, 0) << "request " << i;
        EXPECT_EQ(responses[i].local_port, responses.front().local_port) << "request " << i;
        EXPECT_EQ(responses[i].header("connection"), "keep-alive") << "request " << i;
    }
    EXPECT_EQ(responses.back().body, responses[1].body);
}

TEST_F(Serving, ConcurrentFirstRequestsForOneImageConvertOnce) {
    const auto conversions = [] {
        const std::string text = get("/metrics").body;
        std::smatch match;
        std::regex_search(
            text, match,
            std::regex("quorin_host_conversion_seconds_count\\{format=\"jpeg\"\\} (\\d+)"));
        return match.empty() ? -1L : std::stol(match[1]);
    };
    const long conversions_before = conversions();

    constexpr int requests = 32;
    const std::string target = "/crowd.jpg?w=480";
    std::vector<std::string> bodies(requests);
    std::vector<long> statuses(requests);
    std::latch start(requests);
    std::vector<std::thread> clients;
    for (int i = 0; i < requests; ++i) {
        clients.emplace_back([&, i] {
            http_client client;
            start.arrive_and_wait();
            const auto response = client.request(host->url(target));
            statuses[i] = response.status;
            bodies[i] = response.body;
        });
    }
    for (auto& client : clients) client.join();

    for (int i = 0; i < requests; ++i) {
        EXPECT_EQ(statuses[i], 200) << i;
        EXPECT_EQ(bodies[i], bodies[0]) << i;
    }
    EXPECT_EQ(decode(bodies[0]).width, 480u);
    EXPECT_EQ(conversions(), conversions_before + 1);
    EXPECT_TRUE(host->wait_for_lines(access_line_for("GET", target, "hit"), requests - 1));
    EXPECT_EQ(host->count_lines(access_line_for("GET", target, "stored")), 1u);
    EXPECT_EQ(host->count_lines(access_line_for("GET", target, "direct")), 0u);
}

TEST_F(Serving, TheGalleryShowsEveryImageAsAThumbnailThroughTheCache) {
    const auto page = get("/");
    ASSERT_EQ(page.status, 200);
    EXPECT_EQ(page.header("content-type"), "text/html; charset=utf-8");
    std::vector<std::string> thumbnails;
    const std::regex image_tag("<img src=\"([^\"]+)\"");
    for (auto it = std::sregex_iterator(page.body.begin(), page.body.end(), image_tag);
         it != std::sregex_iterator(); ++it) {
        thumbnails.push_back(std::regex_replace((*it)[1].str(), std::regex("&amp;"), "&"));
    }
    EXPECT_EQ(thumbnails.size(), 8u); // every image, not the text file nor the escaping link
    EXPECT_NE(std::find(thumbnails.begin(), thumbnails.end(), "/sub/deep.jpg?w=160&h=160"),
              thumbnails.end());
    for (const auto& thumbnail : thumbnails) {
        const auto response = get(thumbnail);
        EXPECT_EQ(response.status, 200) << thumbnail;
        const auto image = decode(response.body);
        EXPECT_GT(image.width, 0u) << thumbnail;
        EXPECT_LE(image.width, 160u) << thumbnail;
        EXPECT_LE(image.height, 160u) << thumbnail;
        EXPECT_TRUE(logged("GET", thumbnail, "stored")) << thumbnail;
    }
}

TEST_F(Serving, MetricsCountRequestsByOutcomeAndBytes) {
    const auto value = [](const std::string& text, const std::string& series) {
        const auto at = text.find("\n" + series + " ");
        return at == std::string::npos ? -1.0 : std::stod(text.substr(at + series.size() + 2));
    };
    const std::string before = get("/metrics").body;
    const auto image = get("/old.bmp?w=10");
    get("/old.bmp?w=10");
    get("/missing.jpg");
    const auto after = get("/metrics");
    EXPECT_EQ(after.header("content-type"), "text/plain; version=0.0.4; charset=utf-8");
    const std::string text = after.body;
    EXPECT_EQ(value(text, "quorin_host_requests_total{outcome=\"stored\"}"),
              value(before, "quorin_host_requests_total{outcome=\"stored\"}") + 1);
    EXPECT_EQ(value(text, "quorin_host_requests_total{outcome=\"hit\"}"),
              value(before, "quorin_host_requests_total{outcome=\"hit\"}") + 1);
    EXPECT_EQ(value(text, "quorin_host_requests_total{outcome=\"error\"}"),
              value(before, "quorin_host_requests_total{outcome=\"error\"}") + 1);
    EXPECT_GE(value(text, "quorin_host_response_body_bytes_total"),
              value(before, "quorin_host_response_body_bytes_total") + 2 * image.body.size());
    // The BMP's one conversion, in its format's series.
    const std::string bmp_count = "quorin_host_conversion_seconds_count{format=\"bmp\"}";
    EXPECT_EQ(value(text, bmp_count), value(before, bmp_count) + 1);
    for (const char* format : {"bmp", "avif"}) {
        const std::string label = "{format=\"" + std::string(format) + "\"";
        EXPECT_EQ(value(text, "quorin_host_conversion_seconds_bucket" + label + ",le=\"+Inf\"}"),
                  value(text, "quorin_host_conversion_seconds_count" + label + "}"))
            << format;
    }
    EXPECT_NE(text.find("# TYPE quorin_host_conversion_seconds histogram"), std::string::npos);
}

} // namespace
} // namespace quorin::test
