// Conversions admitted one at a time, in-process through a real module and
// the host's converter, with a conversion that can be held half done.
#include <FreeImage.h>
#include <atomic>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <thread>

#include "chain/http_exchange.h"
#include "chain/image_library_table.h"
#include "chain/module_chain.h"
#include "convert/host_converter.h"
#include "imaging/sample_images.h"
#include "serving/request_handler.h"
#include "support/host_process.h"
#include "support/temp_dir.h"
#include "support/text_sink.h"

namespace quorin::host {
namespace {

std::function<void()> during_conversion;

extern "C" conversion_end core_that_can_hold(const conversion_job* job, FIMEMORY* out) {
    if (during_conversion) during_conversion();
    return host_convert_core(job, out);
}

struct answer {
    int status;
    std::string text;
};

answer get(request_handler& handler, const std::string& path, const std::string& query = {}) {
    http_request request;
    request.method = "GET";
    request.version = "HTTP/1.1";
    request.path = path;
    request.query = query;
    test::text_sink out;
    http_exchange exchange(request, out);
    const auto record = handler.handle(exchange);
    const std::string sent = out.all();
    handler.record_sent(exchange, record, sent.size());
    return {exchange.status(), sent};
}

// With one slot, a miss that comes while another converts is turned away
// to come back later: at once with no queue, after its wait with one; a
// hit, and a miss for the key being converted, need no slot.
TEST(AdmittedConversion, AMissFindingNoSlotGets503WhileHitsAreServed) {
    namespace fs = std::filesystem;
    const test::temp_dir dir;
    const auto images = fs::canonical(dir.path()) / "images";
    fs::create_directories(images);
    ASSERT_TRUE(
        write_pattern_image(images / "photo.png", 64, 48, output_format::png, pattern::checker));
    const auto module = test::install_module(dir.path() / "module", "cache");
    fs::create_directories(module.parent_path() / "cache");
    const chain_ends ends{&host_on_convert, &host_on_convert_with_time,
                          reinterpret_cast<void*>(&core_that_can_hold)};
    std::string error;
    const auto chain = module_chain::load({module}, ends, image_library_table(), error);
    ASSERT_TRUE(chain) << error;

    struct row {
        unsigned queue;
        std::string cause;
    };
    for (const row& r : {row{0, "queue_full"}, row{1, "queue_wait"}}) {
        // Widths of their own, so that each row converts afresh.
        const auto width = [&r](int tens) { return "w=" + std::to_string(tens * 10 + r.queue); };
        conversion_admission admission({1, std::uint64_t{1} << 30, r.queue, {}});
        const auto log_file = dir.path() / (r.cause + ".log");
        access_log log(true, log_file);
        request_handler handler(images, *chain, admission, log);
        ASSERT_EQ(get(handler, "/photo.png", width(1)).status, 200);

        std::promise<void> entered;
        std::promise<void> go;
        std::atomic<bool> signalled{false};
        during_conversion = [&, done = go.get_future().share()] {
            if (!signalled.exchange(true)) entered.set_value();
            done.wait();
        };
        answer held{};
        std::thread converting([&] { held = get(handler, "/photo.png", width(2)); });
        const bool holds =
            entered.get_future().wait_for(std::chrono::seconds(20)) == std::future_status::ready;
        answer same_key{};
        std::thread coalesced([&] { same_key = get(handler, "/photo.png", width(2)); });
        const answer refused = get(handler, "/photo.png", width(3));
        const answer hit = get(handler, "/photo.png", width(1));
        go.set_value();
        converting.join();
        coalesced.join();
        during_conversion = nullptr;
        ASSERT_TRUE(holds) << r.cause;

        EXPECT_EQ(refused.status, 503) << r.cause << refused.text;
        EXPECT_NE(refused.text.find("\r\nRetry-After: 1\r\n"), std::string::npos) << refused.text;
        EXPECT_NE(refused.text.find("try again"), std::string::npos) << refused.text;
        EXPECT_EQ(hit.status, 200) << r.cause;
        EXPECT_EQ(held.status, 200) << r.cause;
        EXPECT_EQ(same_key.status, 200) << r.cause << same_key.text;
        EXPECT_NE(get(handler, "/metrics")
                      .text.find("quorin_host_refusals_total{status=\"503\",cause=\"" + r.cause +
                                 "\"} 1\n"),
                  std::string::npos)
            << r.cause;
        EXPECT_NE(
            test::read_file(log_file).find("\"GET /photo.png?" + width(3) + " HTTP/1.1\" 503 "),
            std::string::npos)
            << r.cause;
    }
}

} // namespace
} // namespace quorin::host
