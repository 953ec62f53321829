#include "cache_key.h"

#include <gtest/gtest.h>
#include <regex>
#include <set>

namespace quorin::host {
namespace {

conversion_parameters box(std::optional<int> width, std::optional<int> height, int quality = 85) {
    conversion_parameters parameters;
    parameters.width = width;
    parameters.height = height;
    parameters.quality = quality;
    return parameters;
}

TEST(CacheName, ShowsTheBaseNameAndTheParameters) {
    const std::string name = cache_name("albums/photo.jpg", box(320, 240), output_format::jpeg);
    EXPECT_TRUE(std::regex_match(name, std::regex("photo_w320_h240_q85_[0-9a-f]{16}\\.jpg")))
        << name;
    const std::string width_only =
        cache_name("photo.png", box(100, std::nullopt, 50), output_format::webp);
    EXPECT_TRUE(std::regex_match(width_only, std::regex("photo_w100_q50_[0-9a-f]{16}\\.webp")))
        << width_only;
}

TEST(CacheName, DiffersForEverySourceAndParameter) {
    const std::vector<std::string> names = {
        cache_name("a/photo.jpg", box(320, 240), output_format::jpeg),
        cache_name("b/photo.jpg", box(320, 240), output_format::jpeg),
        cache_name("photo.jpg", box(320, 240), output_format::jpeg),
        cache_name("a/photo.png", box(320, 240), output_format::jpeg),
        cache_name("a/photo.jpg", box(321, 240), output_format::jpeg),
        cache_name("a/photo.jpg", box(320, 241), output_format::jpeg),
        cache_name("a/photo.jpg", box(320, std::nullopt), output_format::jpeg),
        cache_name("a/photo.jpg", box(std::nullopt, 320), output_format::jpeg),
        cache_name("a/photo.jpg", box(320, 240), output_format::png),
        cache_name("a/photo.jpg", box(320, 240, 86), output_format::jpeg),
        // Parameters that would run together as text stay apart.
        cache_name("a/photo.jpg", box(3, 20), output_format::jpeg),
        cache_name("a/photo.jpg", box(32, 0), output_format::jpeg),
    };
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
    EXPECT_EQ(names[0], cache_name("a/photo.jpg", box(320, 240), output_format::jpeg));
}

TEST(CacheName, IsASafeFileNameWhateverTheSourceIsCalled) {
    const std::string name =
        cache_name("dir/we\\ird n\xc3\xa4me;x.jpg", box(10, 10), output_format::png);
    EXPECT_TRUE(std::regex_match(name, std::regex("we_ird_n__me_x_w10_h10_q85_[0-9a-f]{16}\\.png")))
        << name;
    const std::string long_name =
        cache_name(std::string(300, 'x') + ".jpg", box(8192, 8192), output_format::webp);
    EXPECT_LT(long_name.size(), 128u);
}

TEST(CacheKey, IsTheRelativeDirectoryAndTheName) {
    const auto parameters = box(64, std::nullopt);
    const std::string name = cache_name("photo.jpg", parameters, output_format::jpeg);
    EXPECT_EQ(cache_key("photo.jpg", parameters, output_format::jpeg),
              std::u16string(name.begin(), name.end()));

    const std::string nested = "caf\xc3\xa9/x/photo.jpg";
    const std::string nested_name = cache_name(nested, parameters, output_format::jpeg);
    EXPECT_EQ(cache_key(nested, parameters, output_format::jpeg),
              u"caf\u00e9/x/" + std::u16string(nested_name.begin(), nested_name.end()));
}

} // namespace
} // namespace quorin::host
