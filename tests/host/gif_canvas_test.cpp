#include "imaging/gif_canvas.h"

#include <FreeImage.h>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/animated_gif_file.h"
#include "support/temp_dir.h"

namespace quorin::host {
namespace {

using test::gif_frame;

struct multi_bitmap_deleter {
    void operator()(FIMULTIBITMAP* frames) const { FreeImage_CloseMultiBitmap(frames, 0); }
};
using multi_bitmap = std::unique_ptr<FIMULTIBITMAP, multi_bitmap_deleter>;

multi_bitmap open_gif(const std::filesystem::path& file, int flags) {
    return multi_bitmap(
        FreeImage_OpenMultiBitmap(FIF_GIF, file.string().c_str(), FALSE, TRUE, FALSE, flags));
}

// Page `index` of `frames`, copied.
bitmap page(FIMULTIBITMAP* frames, int index) {
    FIBITMAP* locked = FreeImage_LockPage(frames, index);
    bitmap copy(FreeImage_Clone(locked));
    FreeImage_UnlockPage(frames, locked, FALSE);
    return copy;
}

// The first pixel, counted from the top left, where `shown` and `played`
// differ in colour or transparency; "" when they are the same.
std::string first_difference(FIBITMAP* shown, FIBITMAP* played) {
    const unsigned width = FreeImage_GetWidth(played), height = FreeImage_GetHeight(played);
    if (FreeImage_GetWidth(shown) != width || FreeImage_GetHeight(shown) != height ||
        FreeImage_GetBPP(shown) != 32 || FreeImage_GetBPP(played) != 32) {
        return "a different size or depth";
    }
    for (unsigned y = 0; y < height; ++y) {
        const auto* a =
            reinterpret_cast<const RGBQUAD*>(FreeImage_GetScanLine(shown, height - 1 - y));
        const auto* b =
            reinterpret_cast<const RGBQUAD*>(FreeImage_GetScanLine(played, height - 1 - y));
        for (unsigned x = 0; x < width; ++x) {
            if (std::memcmp(&a[x], &b[x], sizeof(RGBQUAD)) != 0)
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
        }
    }
    return "";
}

// Each frame of `drawn` as the canvas shows it matches the same frame of
// `reference` as the library's playback shows it.
void expect_played_alike(const std::filesystem::path& drawn,
                         const std::filesystem::path& reference) {
    const multi_bitmap raw = open_gif(drawn, GIF_LOAD256);
    const multi_bitmap played = open_gif(reference, GIF_PLAYBACK);
    ASSERT_TRUE(raw && played);
    const int count = FreeImage_GetPageCount(raw.get());
    ASSERT_EQ(count, FreeImage_GetPageCount(played.get()));
    const bitmap first = page(raw.get(), 0);
    gif_canvas canvas(first.get());
    for (int index = 0; index < count; ++index) {
        const bitmap frame = page(raw.get(), index);
        const bitmap shown = canvas.show(frame.get());
        const bitmap expected = page(played.get(), index);
        ASSERT_TRUE(shown && expected) << index;
        EXPECT_EQ(first_difference(shown.get(), expected.get()), "") << "frame " << index;
    }
}

TEST(GifCanvas, FramesLookAsTheLibrarysPlaybackShowsThem) {
    // On a 30 x 20 screen: offsets, transparency, every disposal (the last
    // frame's only shows in the frame after), a frame over the whole screen
    // that lets the ones before show through, 4- and 1-bit frames, an
    // interlaced one, and with a global palette, frames that use it.
    const std::vector<gif_frame> with_global = {
        {.width = 30, .height = 20, .disposal = 1},
        {.width = 10, .height = 8, .left = 3, .top = 2, .disposal = 2, .transparent = 2},
        {.width = 12,
         .height = 6,
         .left = 10,
         .top = 10,
         .disposal = 3,
         .transparent = 5,
         .local_palette = false},
        {.width = 8,
         .height = 8,
         .left = 20,
         .top = 5,
         .transparent = 1,
         .bpp = 4,
         .interlaced = true},
        {.width = 30, .height = 20, .disposal = 1, .transparent = 0, .local_palette = false},
        {.width = 5, .height = 5, .left = 1, .top = 1, .disposal = 3, .bpp = 1},
        {.width = 6, .height = 6, .left = 24, .top = 14, .disposal = 2},
        {.width = 4, .height = 4, .left = 2, .top = 12}};
    // Without one, cleared parts are transparent black; a first frame that
    // asks for the screen before it back leaves it clear.
    const std::vector<gif_frame> without_global = {
        {.width = 10, .height = 10, .left = 3, .top = 3, .disposal = 3},
        {.width = 30, .height = 20, .disposal = 3, .transparent = 2},
        {.width = 12, .height = 6, .left = 10, .top = 10, .disposal = 2, .transparent = 4},
        {.width = 5, .height = 5, .disposal = 1}};
    const test::temp_dir dir;
    for (const auto& [frames, global] : {std::pair{with_global, true}, {without_global, false}}) {
        SCOPED_TRACE(global ? "global palette" : "local palettes only");
        const auto file = dir.path() / "played.gif";
        ASSERT_TRUE(test::write_animated_gif(file, 30, 20, frames, global));
        expect_played_alike(file, file);
    }
}

TEST(GifCanvas, AFrameReachingPastTheScreenIsCutToIt) {
    // The library's playback writes past its screen for such a frame, so
    // the reference is the same animation with the frame cut beforehand.
    const test::temp_dir dir;
    const auto past = dir.path() / "past.gif", cut = dir.path() / "cut.gif";
    const gif_frame first{.width = 20, .height = 10, .disposal = 1};
    ASSERT_TRUE(test::write_animated_gif(
        past, 20, 10, {first, {.width = 12, .height = 9, .left = 15, .top = 4}}, true));
    ASSERT_TRUE(test::write_animated_gif(
        cut, 20, 10, {first, {.width = 5, .height = 6, .left = 15, .top = 4}}, true));
    expect_played_alike(past, cut);
}

} // namespace
} // namespace quorin::host
