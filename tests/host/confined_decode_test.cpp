// A request for an image, handled in-process through a real module, with a
// step injected between the host's checks and its decode.
#include <FreeImage.h>
#include <functional>
#include <gtest/gtest.h>

#include "chain/http_exchange.h"
#include "chain/image_library_table.h"
#include "chain/module_chain.h"
#include "convert/host_converter.h"
#include "imaging/sample_images.h"
#include "serving/request_handler.h"
#include "support/decoded_image.h"
#include "support/host_process.h"
#include "support/temp_dir.h"
#include "support/text_sink.h"

namespace quorin::host {
namespace {

std::function<void()> before_decode;

// The core converter with the injected step in front of it.
extern "C" conversion_end core_after_step(const conversion_job* job, FIMEMORY* out) {
    before_decode();
    return host_convert_core(job, out);
}

TEST(ConfinedDecode, ALinkSwappedInAfterTheCheckIsNeverDecoded) {
    namespace fs = std::filesystem;
    const test::temp_dir dir;
    const auto images = fs::canonical(dir.path()) / "images";
    const auto outside = fs::canonical(dir.path()) / "outside";
    fs::create_directories(images);
    fs::create_directories(outside);
    // Told apart by their sizes.
    ASSERT_TRUE(
        write_pattern_image(images / "photo.png", 40, 30, output_format::png, pattern::checker));
    ASSERT_TRUE(
        write_pattern_image(outside / "secret.png", 64, 64, output_format::png, pattern::checker));
    const auto module = test::install_module(dir.path() / "module", "cache");
    fs::create_directories(module.parent_path() / "cache");

    const chain_ends ends{&host_on_convert, &host_on_convert_with_time,
                          reinterpret_cast<void*>(&core_after_step)};
    std::string error;
    const auto chain = module_chain::load({module}, ends, image_library_table(), error);
    ASSERT_TRUE(chain) << error;
    access_log log(false);
    conversion_admission admission({1, std::uint64_t{1} << 30, 0, {}});
    request_handler handler(images, *chain, admission, log);

    // The file at the path checked becomes a link out of the images
    // directory, by a rename as an attacker would make it: one step.
    before_decode = [&] {
        fs::create_symlink(outside / "secret.png", images / "swap.png");
        fs::rename(images / "swap.png", images / "photo.png");
    };
    http_request request;
    request.method = "GET";
    request.path = "/photo.png";
    test::text_sink out;
    http_exchange exchange(request, out);
    handler.handle(exchange);
    before_decode = nullptr;

    const std::string sent = out.all();
    ASSERT_EQ(exchange.status(), 200) << sent;
    const auto answer = test::decode(sent.substr(sent.find("\r\n\r\n") + 4));
    EXPECT_EQ(answer.width, 40u);
    EXPECT_EQ(answer.height, 30u);
}

} // namespace
} // namespace quorin::host
