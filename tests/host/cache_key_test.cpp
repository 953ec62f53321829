#include "variant/cache_key.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <thread>

#include "base/sha256_hex.h"
#include "variant/cache_name_formats.h"

namespace quorin::host {
namespace {

conversion_parameters box(std::optional<int> width, std::optional<int> height, int quality = 85,
                          fit_mode fit = fit_mode::inside, gravity anchor = gravity::center) {
    conversion_parameters parameters;
    parameters.width = width;
    parameters.height = height;
    parameters.quality = quality;
    parameters.fit = fit;
    parameters.anchor = anchor;
    return parameters;
}

conversion_parameters cropped(conversion_parameters parameters, image_area crop) {
    parameters.crop = crop;
    return parameters;
}

// The plan of `parameters` for a 1600 x 1200 source.
std::optional<resize_plan> planned(const conversion_parameters& parameters) {
    return plan_for({1600, 1200}, parameters);
}

std::string name_of(const conversion_parameters& parameters, output_format format,
                    const std::string& source = "albums/photo.jpg") {
    return cache_name(source, parameters, planned(parameters), format);
}

TEST(CacheName, ShowsTheBaseNameAndTheGeometryMade) {
    const struct {
        conversion_parameters parameters;
        output_format format;
        std::string pattern;
    } rows[] = {
        {box(320, 240), output_format::jpeg, "photo_320x240_q85"},
        {box(100, std::nullopt, 50), output_format::webp, "photo_100x75_q50"},
        {box(100, std::nullopt, 60), output_format::avif, "photo_100x75_q60"},
        {box(100, 100, 85, fit_mode::cover, gravity::east), output_format::png,
         "photo_100x100_crop400-0-1200x1200"},
        {box(std::nullopt, std::nullopt), output_format::gif, "photo_1600x1200"},
    };
    for (const auto& [parameters, format, pattern] : rows) {
        const std::string name = name_of(parameters, format);
        EXPECT_TRUE(std::regex_match(
            name, std::regex(pattern + "_[0-9a-f]{16}\\." + std::string(format_extension(format)))))
            << name;
    }
    // Without a plan, the request stands in.
    const auto cover = box(10, 20, 85, fit_mode::cover, gravity::north);
    EXPECT_TRUE(std::regex_match(cache_name("photo.gif", cover, std::nullopt, output_format::gif),
                                 std::regex("photo_w10_h20_cover_north_[0-9a-f]{16}\\.gif")));
}

TEST(CacheName, RequestsThatMakeTheSameImageShareIt) {
    const std::vector<std::vector<std::pair<conversion_parameters, output_format>>> groups = {
        // Boxes beyond the source's size, and no box at all.
        {{box(5000, std::nullopt), output_format::jpeg},
         {box(6000, std::nullopt), output_format::jpeg},
         {box(7000, 9000), output_format::jpeg},
         {box(std::nullopt, std::nullopt), output_format::jpeg}},
        // Quality does nothing to PNG.
        {{box(800, std::nullopt, 10), output_format::png},
         {box(800, std::nullopt, 30), output_format::png},
         {box(std::nullopt, 600, 85), output_format::png},
         {box(800, 600, 85, fit_mode::fill), output_format::png}},
        // A crop is a part kept like the cover's.
        {{cropped(box(100, 100), {200, 0, 1200, 1200}), output_format::png},
         {box(100, 100, 85, fit_mode::cover), output_format::png}},
        // A cover of the source's shape cuts nothing, whatever the gravity.
        {{box(400, 300, 85, fit_mode::cover, gravity::west), output_format::jpeg},
         {box(400, 300, 85, fit_mode::cover, gravity::north), output_format::jpeg},
         {box(400, 300, 85, fit_mode::cover, gravity::smart), output_format::jpeg},
         {box(400, 300), output_format::jpeg}},
    };
    for (const auto& group : groups) {
        const std::string first = name_of(group[0].first, group[0].second);
        for (const auto& [parameters, format] : group)
            EXPECT_EQ(name_of(parameters, format), first);
    }
}

TEST(CacheName, DiffersForEverySourceAndOutput) {
    const std::vector<std::string> names = {
        name_of(box(320, 240), output_format::jpeg),
        name_of(box(320, 240), output_format::jpeg, "b/photo.jpg"),
        name_of(box(320, 240), output_format::jpeg, "photo.jpg"),
        name_of(box(320, 240), output_format::jpeg, "albums/photo.png"),
        name_of(box(321, std::nullopt), output_format::jpeg),
        name_of(box(std::nullopt, 239), output_format::jpeg),
        name_of(box(320, 240), output_format::png),
        name_of(box(320, 240, 86), output_format::jpeg),
        name_of(box(320, 100, 85, fit_mode::fill), output_format::jpeg),
        name_of(box(320, 320, 85, fit_mode::cover), output_format::jpeg),
        name_of(box(320, 320, 85, fit_mode::cover, gravity::west), output_format::jpeg),
        name_of(box(320, 320, 85, fit_mode::cover, gravity::smart), output_format::jpeg),
        name_of(cropped(box(320, 320, 85, fit_mode::cover, gravity::smart), {0, 0, 1600, 1000}),
                output_format::jpeg),
        cache_name("albums/photo.jpg", box(3, 20, 85, fit_mode::cover, gravity::smart),
                   std::nullopt, output_format::jpeg),
        name_of(box(320, 320, 85, fit_mode::fill), output_format::jpeg),
        cache_name("albums/photo.jpg", box(320, 240), std::nullopt, output_format::jpeg),
        cache_name("albums/photo.jpg", box(3, 20), std::nullopt, output_format::jpeg),
        cache_name("albums/photo.jpg", box(32, 0), std::nullopt, output_format::jpeg),
        cache_name("albums/photo.jpg", box(3, 20, 85, fit_mode::fill), std::nullopt,
                   output_format::jpeg),
        cache_name("albums/photo.jpg", cropped(box(3, 20), {0, 0, 5, 5}), std::nullopt,
                   output_format::jpeg),
        cache_name("albums/photo.jpg", cropped(box(3, 20), {0, 0, 5, 6}), std::nullopt,
                   output_format::jpeg),
        name_of(cropped(box(320, 240), {0, 0, 800, 600}), output_format::jpeg),
        name_of(cropped(box(320, 240), {1, 0, 800, 600}), output_format::jpeg),
    };
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
}

TEST(CacheName, IsASafeFileNameWhateverTheSourceIsCalled) {
    const std::string name =
        cache_name("dir/we\\ird n\xc3\xa4me;x.jpg", box(10, 10), std::nullopt, output_format::png);
    EXPECT_TRUE(std::regex_match(name, std::regex("we_ird_n__me_x_w10_h10_[0-9a-f]{16}\\.png")))
        << name;
    const std::string long_name = cache_name(std::string(300, 'x') + ".jpg",
                                             box(8192, 8192, 85, fit_mode::cover, gravity::east),
                                             std::nullopt, output_format::webp);
    EXPECT_LT(long_name.size(), 128u);
}

TEST(CacheName, BeginsWithTheStemAPathGives) {
    // Names already stored were made from std::filesystem's stem; the text
    // rule must give the same for every name a source can have.
    for (const std::string source :
         {"photo.jpg", "dir.d/photo", "dir/photo.", "x/a..b.png", "dir/.jpg", ".hidden"}) {
        const std::string stem = std::filesystem::path(source).stem().string();
        EXPECT_EQ(cache_name(source, box(10, 10), std::nullopt, output_format::png)
                      .substr(0, stem.size() + 1),
                  stem + "_")
            << source;
    }
}

TEST(CacheKey, IsTheRelativeDirectoryAndTheName) {
    const auto parameters = box(64, std::nullopt);
    const std::string name = cache_name("photo.jpg", parameters, std::nullopt, output_format::jpeg);
    EXPECT_EQ(cache_key("photo.jpg", parameters, std::nullopt, output_format::jpeg),
              std::u16string(name.begin(), name.end()));

    const std::string nested = "caf\xc3\xa9/x/photo.jpg";
    const std::string nested_name =
        cache_name(nested, parameters, std::nullopt, output_format::jpeg);
    EXPECT_EQ(cache_key(nested, parameters, std::nullopt, output_format::jpeg),
              u"caf\u00e9/x/" + std::u16string(nested_name.begin(), nested_name.end()));
}

// The names already stored depend on the digest: the standard's vector,
// twice, as each thread reuses its digest context, appended to what is
// there.
TEST(CacheName, DigestsWithSha256) {
    std::string out = "x";
    for (int i = 0; i < 2; ++i) append_sha256_hex(out, "abc", 64);
    EXPECT_EQ(out, "x"
                   "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"
                   "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    out.clear();
    append_sha256_hex(out, "", 16);
    EXPECT_EQ(out, "e3b0c44298fc1c14");
    // A name as stored: a digest of "albums/photo.jpg\0" "320x240_q85\0" "jpeg".
    EXPECT_EQ(name_of(box(320, 240), output_format::jpeg),
              "photo_320x240_q85_21ac60f6343e9fb5.jpg");
    EXPECT_EQ(cache_name("albums/photo.jpg", box(320, 240, 85, fit_mode::cover, gravity::north),
                         std::nullopt, output_format::jpeg),
              "photo_w320_h240_cover_north_q85_50971e3c8e60df3b.jpg");
}

TEST(CacheNameFormats, TellTheFormatOfTheNameThisThreadMadeLastOnly) {
    const std::u16string key =
        cache_key("albums/photo.jpg", box(320, 240), planned(box(320, 240)), output_format::webp);
    const std::u16string name(cache_name_in(key));
    EXPECT_EQ(name, u"photo_320x240_q85_" + key.substr(key.size() - 21));
    EXPECT_EQ(format_of_cache_name(name), output_format::webp);
    EXPECT_EQ(cache_name_in(u"C:\\cache\\4\\61\\photo.png"), u"photo.png");
    // A name of the same shape that the host did not make.
    EXPECT_FALSE(format_of_cache_name(u"photo_320x240_q85_0123456789abcdef.webp"));
    // Nor one another thread made.
    std::thread([&name] { EXPECT_FALSE(format_of_cache_name(name)); }).join();

    remember_cache_name(u"other.png", output_format::png);
    EXPECT_FALSE(format_of_cache_name(name));
}

} // namespace
} // namespace quorin::host
