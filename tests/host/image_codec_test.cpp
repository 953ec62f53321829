#include "imaging/image_codec.h"

#include <FreeImage.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <tuple>
#include <vector>
#include <webp/demux.h>

#include "convert/conversion_job.h"
#include "convert/host_converter.h"
#include "imaging/avif_encoder.h"
#include "imaging/bitmap.h"
#include "imaging/heif_formats.h"
#include "imaging/sample_images.h"
#include "os/read_only_file.h"
#include "support/animated_gif_file.h"
#include "support/decoded_image.h"
#include "support/heif_file.h"
#include "support/icc_profiles.h"
#include "support/temp_dir.h"

namespace quorin::host {
namespace {

using test::stream_bytes;

// Converts the file at `file`, opened as the server opens it.
conversion_status convert_file(const std::filesystem::path& file, int source_format,
                               const conversion_parameters& parameters, output_format format,
                               FIMEMORY* out) {
    const auto source = os::read_only_file::open(file.string());
    return source ? convert_image(*source, source_format, parameters, format, out)
                  : conversion_status::unreadable;
}

const std::vector<output_format> output_formats = {output_format::png,  output_format::jpeg,
                                                   output_format::gif,  output_format::bmp,
                                                   output_format::webp, output_format::avif};

class ImageCodec : public ::testing::Test {
protected:
    // Converts `file` and reads the result back.
    test::decoded_image convert(const std::filesystem::path& file, std::optional<int> width,
                                std::optional<int> height, output_format format) {
        conversion_parameters parameters;
        parameters.width = width;
        parameters.height = height;
        const auto source_format = readable_format(file);
        if (!source_format) {
            ADD_FAILURE() << file << " unreadable";
            return {};
        }
        const memory_stream out;
        EXPECT_EQ(convert_file(file, *source_format, parameters, format, out.get()),
                  conversion_status::converted);
        return test::decode(stream_bytes(out));
    }

    std::filesystem::path image(const std::string& name, unsigned width, unsigned height,
                                output_format format, pattern kind = pattern::waves,
                                bool transparent = false) {
        const auto file = dir.path() / name;
        EXPECT_TRUE(write_pattern_image(file, width, height, format, kind, transparent));
        return file;
    }

    test::temp_dir dir;
};

TEST_F(ImageCodec, JpegIsDecodedReducedAndFittedExactly) {
    // 1000 x 750 reduces by 8 to 125 x 94 while decoding; the result must
    // still be the exact fitted size, whatever the reduced decode gave.
    const auto file = image("photo.jpg", 1000, 750, output_format::jpeg);
    for (const auto& [box, expected] :
         std::vector<std::pair<int, std::pair<unsigned, unsigned>>>{{125, {125, 94}},
                                                                    {126, {126, 95}},
                                                                    {300, {300, 225}},
                                                                    {999, {999, 749}},
                                                                    {1000, {1000, 750}}}) {
        const auto result = convert(file, box, std::nullopt, output_format::jpeg);
        EXPECT_EQ(result.format, FIF_JPEG);
        EXPECT_EQ(result.width, expected.first) << box;
        EXPECT_EQ(result.height, expected.second) << box;
    }
    const auto tall =
        convert(image("tall.jpg", 300, 1200, output_format::jpeg), 1000, 100, output_format::png);
    EXPECT_EQ(tall.format, FIF_PNG);
    EXPECT_EQ(tall.width, 25u);
    EXPECT_EQ(tall.height, 100u);
}

TEST_F(ImageCodec, WritesEveryFormatFromEverySourceFormat) {
    for (const output_format source_format : output_formats) {
        if (!can_write(source_format)) continue;
        const auto file = image("source." + std::string(format_extension(source_format)), 200, 100,
                                source_format);
        for (const output_format target : output_formats) {
            if (!can_write(target)) continue;
            const auto result = convert(file, 50, std::nullopt, target);
            EXPECT_EQ(result.format, library_format(target))
                << format_name(source_format) << " to " << format_name(target);
            EXPECT_EQ(result.width, 50u);
            EXPECT_EQ(result.height, 25u);
        }
    }
}

TEST_F(ImageCodec, TransparencyIsKeptWhereTheFormatHasItAndFlattenedElsewhere) {
    // The rings pattern is transparent outside its circle.
    const auto file = image("rings.png", 64, 64, output_format::png, pattern::rings, true);
    for (const auto format : {output_format::png, output_format::webp, output_format::avif}) {
        conversion_parameters parameters;
        const memory_stream out;
        ASSERT_EQ(convert_file(file, FIF_PNG, parameters, format, out.get()),
                  conversion_status::converted);
        const std::string bytes = stream_bytes(out);
        EXPECT_EQ(test::decode(bytes).bpp, 32u) << format_name(format);
        // A corner is clear, the centre opaque.
        EXPECT_LT(test::alpha_at(bytes, 0, 0), 8u) << format_name(format);
        EXPECT_GT(test::alpha_at(bytes, 32, 32), 247u) << format_name(format);
    }
    for (const auto& [format, bpp] : std::vector<std::pair<output_format, unsigned>>{
             {output_format::jpeg, 24}, {output_format::bmp, 24}, {output_format::gif, 8}}) {
        conversion_parameters parameters;
        const memory_stream out;
        ASSERT_EQ(convert_file(file, FIF_PNG, parameters, format, out.get()),
                  conversion_status::converted);
        const std::string bytes = stream_bytes(out);
        EXPECT_EQ(test::decode(bytes).bpp, bpp) << format_name(format);
        // A corner, transparent, comes out white; the centre is opaque.
        EXPECT_GE(test::brightness_at(bytes, 0, 0), 250u) << format_name(format);
        EXPECT_LT(test::brightness_at(bytes, 32, 32), 250u) << format_name(format);
    }
}

TEST_F(ImageCodec, NeverEnlarges) {
    const auto result =
        convert(image("small.png", 40, 30, output_format::png), 400, 300, output_format::png);
    EXPECT_EQ(result.width, 40u);
    EXPECT_EQ(result.height, 30u);
}

TEST_F(ImageCodec, QualityChangesTheSizeOfTheLossyFormats) {
    const auto file = image("q.jpg", 400, 300, output_format::jpeg);
    for (const auto format : {output_format::jpeg, output_format::webp, output_format::avif}) {
        const auto encoded_size = [&](int quality) {
            conversion_parameters parameters;
            parameters.quality = quality;
            const memory_stream out;
            EXPECT_EQ(convert_file(file, FIF_JPEG, parameters, format, out.get()),
                      conversion_status::converted);
            return stream_bytes(out).size();
        };
        EXPECT_LT(encoded_size(10), encoded_size(95)) << format_name(format);
    }
}

TEST_F(ImageCodec, TheAvifSpeedIsTheEncoders) {
    const auto file = image("speed.png", 96, 64, output_format::png);
    const auto encoded = [&](int speed) {
        set_avif_speed(speed);
        const memory_stream out;
        EXPECT_EQ(convert_file(file, FIF_PNG, {}, output_format::avif, out.get()),
                  conversion_status::converted);
        return stream_bytes(out);
    };
    const std::string fastest = encoded(fastest_avif_speed);
    const std::string slower = encoded(4);
    set_avif_speed(default_avif_speed);
    EXPECT_NE(fastest, slower);
    EXPECT_EQ(test::decode(fastest).width, 96u);
}

TEST_F(ImageCodec, FilesThatAreNoImagesAreRecognised) {
    const auto text = dir.path() / "notes.jpg";
    test::write_file(text, "just some text, not a picture");
    EXPECT_FALSE(readable_format(text));
    // A file that claims to be a JPEG but breaks off is unreadable.
    const auto broken = dir.path() / "broken.jpg";
    test::write_file(broken,
                     test::read_file(image("whole.jpg", 64, 64, output_format::jpeg)).substr(0, 4));
    const memory_stream out;
    EXPECT_EQ(convert_file(broken, FIF_JPEG, {}, output_format::png, out.get()),
              conversion_status::unreadable);
}

// GIF holds 8 bits a pixel.
void replace_with_grey(FIBITMAP*& image) {
    FIBITMAP* grey = FreeImage_ConvertTo8Bits(image);
    FreeImage_Unload(image);
    image = grey;
}

// A picture black on one half, white on the other: the left half black,
// or the top half when `black_on_top`.
std::string two_tone(unsigned width, unsigned height, bool black_on_top, FREE_IMAGE_FORMAT format) {
    FIBITMAP* image = FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), 24);
    for (unsigned y = 0; y < height; ++y) { // the library counts rows from the bottom
        for (unsigned x = 0; x < width; ++x) {
            const bool black = black_on_top ? y >= height / 2 : x < width / 2;
            RGBQUAD colour{};
            colour.rgbRed = colour.rgbGreen = colour.rgbBlue = black ? 0 : 255;
            FreeImage_SetPixelColor(image, x, y, &colour);
        }
    }
    const memory_stream out;
    if (format == FIF_GIF) replace_with_grey(image);
    FreeImage_SaveToMemory(format, image, out.get(), format == FIF_JPEG ? 90 : 0);
    FreeImage_Unload(image);
    return stream_bytes(out);
}

std::string half_black_jpeg() { return two_tone(800, 400, false, FIF_JPEG); }

TEST_F(ImageCodec, CoverGivesTheWholeBoxWithTheGravitysSideKept) {
    const auto wide = dir.path() / "wide.jpg"; // left black; reduced while decoding
    test::write_file(wide, two_tone(800, 400, false, FIF_JPEG));
    const auto tall = dir.path() / "tall.png"; // top black
    test::write_file(tall, two_tone(400, 800, true, FIF_PNG));
    constexpr unsigned black = 0, white = 255, both = 1;
    const struct {
        std::filesystem::path source;
        gravity anchor;
        unsigned shows; // black, white, or both: black first along the cut axis
    } rows[] = {
        {wide, gravity::center, both},     {wide, gravity::west, black},
        {wide, gravity::east, white},      {wide, gravity::northwest, black},
        {wide, gravity::southeast, white}, {wide, gravity::north, both},
        {tall, gravity::center, both},     {tall, gravity::north, black},
        {tall, gravity::south, white},     {tall, gravity::northeast, black},
        {tall, gravity::southwest, white}, {tall, gravity::east, both},
    };
    for (const auto& [source, anchor, shows] : rows) {
        conversion_parameters parameters;
        parameters.width = 60;
        parameters.height = 60;
        parameters.fit = fit_mode::cover;
        parameters.anchor = anchor;
        const memory_stream out;
        ASSERT_EQ(convert_file(source, *readable_format(source), parameters, output_format::png,
                               out.get()),
                  conversion_status::converted);
        const std::string bytes = stream_bytes(out);
        const auto result = test::decode(bytes);
        const std::string row =
            source.filename().string() + " " + std::string(gravity_name(anchor));
        ASSERT_EQ(result.width, 60u) << row;
        ASSERT_EQ(result.height, 60u) << row;
        const bool across = source == tall;
        const auto near = [](unsigned value, unsigned expected) {
            return std::abs(static_cast<int>(value) - static_cast<int>(expected)) < 40;
        };
        const unsigned first = test::brightness_at(bytes, across ? 30 : 5, across ? 5 : 30);
        const unsigned last = test::brightness_at(bytes, across ? 30 : 54, across ? 54 : 30);
        EXPECT_TRUE(near(first, shows == white ? white : black)) << row << ": " << first;
        EXPECT_TRUE(near(last, shows == black ? black : white)) << row << ": " << last;
    }
}

TEST_F(ImageCodec, ACropIsCutFromThePictureAsShownBeforeItIsFitted) {
    // 800 x 400 with its left half black; turned a quarter right (6), the
    // black half is on top of a 400 x 800 picture. A GIF's size is known
    // only once decoded.
    const auto turned = dir.path() / "turned.jpg";
    test::write_file(turned, test::with_exif_orientation(half_black_jpeg(), 6));
    const auto plain = dir.path() / "plain.gif";
    test::write_file(plain, two_tone(800, 400, false, FIF_GIF));
    constexpr unsigned black = 0, white = 255;
    const struct {
        std::filesystem::path source;
        image_area crop;
        fit_mode fit;
        int width, height;
        image_size made;
        unsigned shows;
    } rows[] = {
        {turned, {0, 400, 400, 400}, fit_mode::inside, 100, 100, {100, 100}, white},
        {turned, {0, 0, 400, 400}, fit_mode::inside, 100, 100, {100, 100}, black},
        {turned, {0, 200, 400, 200}, fit_mode::cover, 50, 100, {50, 100}, black},
        {plain, {600, 0, 200, 400}, fit_mode::inside, 50, 50, {25, 50}, white},
        {plain, {0, 100, 300, 300}, fit_mode::fill, 30, 10, {30, 10}, black},
    };
    for (const auto& [source, crop, fit, width, height, made, shows] : rows) {
        conversion_parameters parameters;
        parameters.crop = crop;
        parameters.fit = fit;
        parameters.width = width;
        parameters.height = height;
        const memory_stream out;
        const std::string row = source.filename().string() + " " + std::to_string(crop.left) + "," +
                                std::to_string(crop.top);
        ASSERT_EQ(convert_file(source, *readable_format(source), parameters, output_format::png,
                               out.get()),
                  conversion_status::converted)
            << row;
        const std::string bytes = stream_bytes(out);
        EXPECT_EQ(test::decode(bytes).width, made.width) << row;
        EXPECT_EQ(test::decode(bytes).height, made.height) << row;
        for (const auto& [x, y] : {std::pair{1u, 1u}, std::pair{made.width - 2, made.height - 2}})
            EXPECT_NEAR(test::brightness_at(bytes, x, y), shows, 40) << row;
    }
    // Outside the picture as shown, though within it as stored.
    for (const auto& source : {turned, plain}) {
        conversion_parameters parameters;
        parameters.crop = image_area{0, 0, 800, 1};
        if (source == plain) parameters.crop = image_area{0, 0, 1, 401};
        const memory_stream out;
        EXPECT_EQ(convert_file(source, *readable_format(source), parameters, output_format::png,
                               out.get()),
                  conversion_status::crop_outside)
            << source;
    }
}

TEST_F(ImageCodec, SmartGravityKeepsTheSideWithTheDetail) {
    // White, with black and white stripes along one end: at the right of
    // a wide PNG, at the bottom of a tall JPEG (decoded reduced).
    const auto striped = [](unsigned width, unsigned height, bool at_right) {
        bitmap image(FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), 24));
        for (unsigned y = 0; y < height; ++y) { // rows from the bottom
            for (unsigned x = 0; x < width; ++x) {
                const bool detail = at_right ? x >= width - width / 5 : y < height / 5;
                const BYTE shade = detail && (x / 3 + y / 3) % 2 == 0 ? 0 : 255;
                RGBQUAD colour{shade, shade, shade, 0};
                FreeImage_SetPixelColor(image.get(), x, y, &colour);
            }
        }
        return image;
    };
    const auto wide = dir.path() / "wide.png";
    const auto tall = dir.path() / "tall.jpg";
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, striped(800, 400, true).get(), wide.string().c_str(), 0));
    ASSERT_TRUE(FreeImage_Save(FIF_JPEG, striped(400, 800, false).get(), tall.string().c_str(),
                               JPEG_QUALITYSUPERB));
    for (const auto& [source, corner] :
         {std::pair{wide, std::pair{95u, 50u}}, std::pair{tall, std::pair{50u, 95u}}}) {
        const auto brightness = [&, &source = source, far_corner = corner](gravity anchor) {
            conversion_parameters parameters;
            parameters.width = 100;
            parameters.height = 100;
            parameters.fit = fit_mode::cover;
            parameters.anchor = anchor;
            const memory_stream out;
            EXPECT_EQ(convert_file(source, *readable_format(source), parameters, output_format::png,
                                   out.get()),
                      conversion_status::converted);
            return test::brightness_at(stream_bytes(out), far_corner.first, far_corner.second);
        };
        // The middle misses the stripes; the detail's side shows them, grey
        // once scaled down.
        EXPECT_GT(brightness(gravity::center), 240u) << source;
        EXPECT_LT(brightness(gravity::smart), 200u) << source;
    }
}

TEST_F(ImageCodec, ASourceReshapedSinceItsCacheNameWasPlannedIsReported) {
    conversion_job job;
    // Rewritten in place, as an editor saves: the open file sees the change.
    const auto opened =
        os::read_only_file::open(image("reshaped.png", 100, 50, output_format::png).string());
    ASSERT_TRUE(opened);
    job.source = opened.get();
    job.relative_source = "reshaped.png";
    job.source_format = FIF_PNG;
    job.parameters.width = 40;
    name_cache_entry(job);
    const std::u16string planned = job.cache_key;
    EXPECT_EQ(host_convert_core(&job, memory_stream().get()), conversion_end::converted);
    image("reshaped.png", 100, 80, output_format::png);
    EXPECT_EQ(host_convert_core(&job, memory_stream().get()), conversion_end::source_reshaped);
    name_cache_entry(job);
    EXPECT_NE(job.cache_key, planned);
    EXPECT_EQ(host_convert_core(&job, memory_stream().get()), conversion_end::converted);
}

TEST_F(ImageCodec, PhotosAreTurnedAsTheirCameraHeldThemAndLoseTheirMetadata) {
    const std::string jpeg = half_black_jpeg();
    const auto turned = dir.path() / "turned.jpg";
    // 5 to 8 turn a quarter: the black half goes to the top or the bottom.
    // 1 to 4 do not: it stays on the left or the right.
    for (unsigned orientation = 1; orientation <= 8; ++orientation) {
        test::write_file(turned, test::with_exif_orientation(jpeg, orientation));
        const bool quarter = orientation >= 5;
        conversion_parameters box;
        box.width = 100; // reduced while decoding, then fitted
        for (const auto& parameters : {conversion_parameters{}, box}) {
            const memory_stream out;
            ASSERT_EQ(convert_file(turned, FIF_JPEG, parameters, output_format::jpeg, out.get()),
                      conversion_status::converted);
            const std::string bytes = stream_bytes(out);
            const auto result = test::decode(bytes);
            const std::pair<unsigned, unsigned> expected =
                parameters.width ? (quarter ? std::pair{100u, 200u} : std::pair{100u, 50u})
                                 : (quarter ? std::pair{400u, 800u} : std::pair{800u, 400u});
            ASSERT_EQ(result.width, expected.first) << orientation;
            ASSERT_EQ(result.height, expected.second) << orientation;
            const unsigned w = result.width, h = result.height;
            const auto differ = [&](unsigned x1, unsigned y1, unsigned x2, unsigned y2) {
                const int a = static_cast<int>(test::brightness_at(bytes, x1, y1));
                const int b = static_cast<int>(test::brightness_at(bytes, x2, y2));
                return std::abs(a - b) > 128;
            };
            // A picture stretched to the turned size instead keeps its halves
            // left and right.
            EXPECT_EQ(differ(w / 4, h / 4, w / 4, 3 * h / 4), quarter) << orientation;
            EXPECT_EQ(differ(w / 4, h / 2, 3 * w / 4, h / 2), !quarter) << orientation;
            // Left in, the tag would make a viewer turn the turned pixels again.
            EXPECT_EQ(bytes.find(std::string("Exif\0\0", 6)), std::string::npos) << orientation;
        }
    }
}

// An uncompressed 8-bit grey TIFF of `pixels` (rows from the top) that
// carries `orientation`: written by hand, as the library's writer drops
// the tag.
std::string grey_tiff(unsigned width, unsigned height, const std::vector<BYTE>& pixels,
                      unsigned orientation) {
    std::string tiff("II*\0\x08\0\0\0", 8);
    const auto put = [&](unsigned value, int bytes) {
        for (int i = 0; i < bytes; ++i) tiff += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    const std::vector<std::pair<unsigned, unsigned>> entries = {
        {256, width}, {257, height},      {258, 8}, {259, 1},      {262, 1},
        {273, 134},   {274, orientation}, {277, 1}, {278, height}, {279, width * height}};
    put(static_cast<unsigned>(entries.size()), 2);
    for (const auto& [tag, value] : entries) {
        const bool is_long = tag == 273 || tag == 279; // the others are SHORT
        put(tag, 2);
        put(is_long ? 4 : 3, 2);
        put(1, 4);
        put(value, 4);
    }
    put(0, 4); // no next directory; the pixels start at 8 + 2 + 10 * 12 + 4 = 134
    return tiff + std::string(pixels.begin(), pixels.end());
}

// `pixels` (grey, rows from the top) in a HEIF container that turns them
// by `orientation`.
std::string heif_grey(const std::vector<BYTE>& pixels, unsigned width, unsigned height,
                      int orientation, bool hevc) {
    return test::heif_file({.hevc = hevc,
                            .width = width,
                            .height = height,
                            .orientation = orientation,
                            .lossless = true},
                           [&](unsigned x, unsigned y) {
                               const double grey = pixels.at(y * width + x) / 255.0;
                               return std::array<double, 4>{grey, grey, grey, 1};
                           });
}

TEST_F(ImageCodec, EveryFormatThatCarriesAnOrientationIsTurnedByIt) {
    // 40 x 20, light, with a dark block in its stored top-left corner.
    constexpr unsigned width = 40, height = 20;
    std::vector<BYTE> pixels(width * height, 220);
    for (unsigned y = 0; y < 5; ++y) std::fill_n(pixels.begin() + y * width, 10, BYTE{0});
    const bitmap grey(
        FreeImage_ConvertFromRawBits(pixels.data(), width, height, width, 8, 0, 0, 0, TRUE));
    const bitmap colour(FreeImage_ConvertTo24Bits(grey.get()));
    const auto encoded = [&](FREE_IMAGE_FORMAT format, int flags) {
        const memory_stream out;
        EXPECT_TRUE(FreeImage_SaveToMemory(format, colour.get(), out.get(), flags));
        return stream_bytes(out);
    };
    const std::string jpeg = encoded(FIF_JPEG, 95);

    // Where the dark corner shows for each orientation: 0 top left, then
    // clockwise. 5 to 8 also exchange width and height.
    const std::array<unsigned, 9> corner_shown = {0, 0, 1, 2, 3, 0, 1, 2, 3};
    // Gathered and reported once at the end, where a log cut short by the
    // TIFF reader's chatter still shows it.
    std::string wrong;
    for (unsigned orientation = 1; orientation <= 8; ++orientation) {
        const std::string exif = test::exif_orientation_block(orientation);
        const bitmap tagged(FreeImage_Clone(colour.get()));
        const auto exif_size = static_cast<DWORD>(exif.size());
        test::set_tag(tagged.get(), FIMD_EXIF_RAW, "ExifRaw", FIDT_BYTE, exif_size, exif.data(),
                      exif_size);
        const memory_stream webp;
        ASSERT_TRUE(FreeImage_SaveToMemory(FIF_WEBP, tagged.get(), webp.get(), WEBP_LOSSLESS));

        for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
                 {"turned.jpg", test::with_exif_orientation(jpeg, orientation)},
                 {"turned.webp", stream_bytes(webp)},
                 {"turned.tif", grey_tiff(width, height, pixels, orientation)},
                 {"turned.avif", heif_grey(pixels, width, height, orientation, false)},
                 {"turned.heic", heif_grey(pixels, width, height, orientation, true)}}) {
            const std::string which = name + " " + std::to_string(orientation) + ": ";
            test::write_file(dir.path() / name, bytes);
            const auto format = readable_format(dir.path() / name);
            const memory_stream out;
            if (!format || convert_file(dir.path() / name, *format, {}, output_format::png,
                                        out.get()) != conversion_status::converted) {
                wrong += which + "not converted (" + std::to_string(bytes.size()) + " bytes)\n";
                continue;
            }
            const std::string answer = stream_bytes(out);
            const auto result = test::decode(answer);
            const bool quarter = orientation >= 5;
            if (result.width != (quarter ? height : width)) {
                wrong += which + "width " + std::to_string(result.width) + "\n";
                continue;
            }
            // The cache name is planned from the header: it must see the turn too.
            const auto opened = os::read_only_file::open((dir.path() / name).string());
            const auto planned = read_header(*opened, *format);
            if (planned && planned->shown.width != result.width) {
                wrong += which + "planned width " + std::to_string(planned->shown.width) + "\n";
            }
            const unsigned right = result.width - 3, bottom = result.height - 3;
            const std::array<std::pair<unsigned, unsigned>, 4> corners = {
                {{2, 2}, {right, 2}, {right, bottom}, {2, bottom}}};
            for (unsigned corner = 0; corner < 4; ++corner) {
                const auto [x, y] = corners.at(corner);
                const unsigned brightness = test::brightness_at(answer, x, y);
                if ((brightness < 110) != (corner == corner_shown.at(orientation))) {
                    wrong += which + "corner " + std::to_string(corner) + " has brightness " +
                             std::to_string(brightness) + "\n";
                }
            }
        }
    }
    EXPECT_EQ(wrong, "");
}

TEST_F(ImageCodec, EmbeddedProfilesAreConvertedToSrgbAndNotPassedOn) {
    // Bands of red, green and a blue-grey in the swapped profile: in sRGB
    // red and green trade places.
    const std::array<test::rgb_colour, 3> bands = {{{255, 0, 0}, {0, 255, 0}, {40, 80, 160}}};
    const bitmap source(FreeImage_Allocate(48, 16, 24));
    for (unsigned x = 0; x < 48; ++x) {
        const auto& [red, green, blue] = bands.at(x / 16);
        RGBQUAD pixel{static_cast<BYTE>(blue), static_cast<BYTE>(green), static_cast<BYTE>(red), 0};
        for (unsigned y = 0; y < 16; ++y) FreeImage_SetPixelColor(source.get(), x, y, &pixel);
    }
    std::string profile = test::swapped_primaries_profile();
    ASSERT_NE(
        FreeImage_CreateICCProfile(source.get(), profile.data(), static_cast<long>(profile.size())),
        nullptr);
    const auto saved = [&](FREE_IMAGE_FORMAT format, int flags) {
        const memory_stream out;
        EXPECT_TRUE(FreeImage_SaveToMemory(format, source.get(), out.get(), flags));
        return stream_bytes(out);
    };
    const auto in_heif = [&](bool hevc) {
        return test::heif_file(
            {.hevc = hevc, .width = 48, .height = 16, .icc_profile = profile},
            [&](unsigned x, unsigned) {
                const auto& [red, green, blue] = bands.at(x / 16);
                return std::array<double, 4>{red / 255.0, green / 255.0, blue / 255.0, 1};
            });
    };
    for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"profiled.png", saved(FIF_PNG, 0)},
             {"profiled.jpg", saved(FIF_JPEG, JPEG_QUALITYSUPERB | JPEG_SUBSAMPLING_444)},
             {"profiled.tif", saved(FIF_TIFF, 0)},
             {"profiled.webp", saved(FIF_WEBP, WEBP_LOSSLESS)},
             {"profiled.avif", in_heif(false)},
             {"profiled.heic", in_heif(true)}}) {
        const auto file = dir.path() / name;
        test::write_file(file, bytes);
        const memory_stream out;
        ASSERT_EQ(convert_file(file, *readable_format(file), {}, output_format::png, out.get()),
                  conversion_status::converted)
            << name;
        const std::string answer = stream_bytes(out);
        for (unsigned band = 0; band < bands.size(); ++band) {
            const auto colour = test::colour_at(answer, band * 16 + 8, 8);
            EXPECT_NEAR(colour.red, bands.at(band).green, 6) << name << " band " << band;
            EXPECT_NEAR(colour.green, bands.at(band).red, 6) << name << " band " << band;
            EXPECT_NEAR(colour.blue, bands.at(band).blue, 6) << name << " band " << band;
        }
        // Every ICC profile carries this signature.
        EXPECT_EQ(answer.find("acsp"), std::string::npos) << name;
    }
}

DWORD animation_tag(FIBITMAP* frame, const char* key) {
    FITAG* tag = nullptr;
    return FreeImage_GetMetadata(FIMD_ANIMATION, frame, key, &tag)
               ? *static_cast<const DWORD*>(FreeImage_GetTagValue(tag))
               : 0;
}

// Three frames, 60 x 40: black, grey, white, shown 100, 200 and 300 ms,
// looping three times.
const std::array<BYTE, 3> shades = {0, 128, 255};
bool write_three_shades(const std::filesystem::path& file) {
    FIMULTIBITMAP* gif = FreeImage_OpenMultiBitmap(FIF_GIF, file.string().c_str(), TRUE, FALSE);
    if (gif == nullptr) return false;
    for (unsigned index = 0; index < shades.size(); ++index) {
        const bitmap frame(FreeImage_Allocate(60, 40, 8));
        std::fill_n(FreeImage_GetBits(frame.get()), FreeImage_GetPitch(frame.get()) * 40,
                    shades.at(index));
        const DWORD time = 100 * (index + 1), loops = 3;
        test::set_tag(frame.get(), FIMD_ANIMATION, "FrameTime", FIDT_LONG, 1, &time, sizeof time);
        if (index == 0)
            test::set_tag(frame.get(), FIMD_ANIMATION, "Loop", FIDT_LONG, 1, &loops, sizeof loops);
        FreeImage_AppendPage(gif, frame.get());
    }
    return FreeImage_CloseMultiBitmap(gif, 0) != FALSE;
}

TEST_F(ImageCodec, AnAnimatedGifStaysAnimatedAsGifAndGivesItsFirstFrameOtherwise) {
    const auto file = dir.path() / "animated.gif";
    ASSERT_TRUE(write_three_shades(file));
    conversion_parameters box;
    box.width = 30;

    const memory_stream out;
    ASSERT_EQ(convert_file(file, FIF_GIF, box, output_format::gif, out.get()),
              conversion_status::converted);
    FreeImage_SeekMemory(out.get(), 0, SEEK_SET);
    FIMULTIBITMAP* answer = FreeImage_LoadMultiBitmapFromMemory(FIF_GIF, out.get(), 0);
    ASSERT_NE(answer, nullptr);
    ASSERT_EQ(FreeImage_GetPageCount(answer), 3);
    for (int index = 0; index < 3; ++index) {
        FIBITMAP* frame = FreeImage_LockPage(answer, index);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(FreeImage_GetWidth(frame), 30u) << index;
        EXPECT_EQ(FreeImage_GetHeight(frame), 20u) << index;
        EXPECT_EQ(animation_tag(frame, "FrameTime"), 100u * (index + 1)) << index;
        if (index == 0) {
            EXPECT_EQ(animation_tag(frame, "Loop"), 3u);
        }
        const bitmap grey(FreeImage_ConvertToGreyscale(frame));
        BYTE shade = 0;
        FreeImage_GetPixelIndex(grey.get(), 15, 10, &shade);
        EXPECT_NEAR(shade, shades.at(static_cast<unsigned>(index)), 8) << index;
        FreeImage_UnlockPage(answer, frame, FALSE);
    }
    FreeImage_CloseMultiBitmap(answer, 0);

    const auto still = convert(file, 30, std::nullopt, output_format::png);
    EXPECT_EQ(still.format, FIF_PNG);
    EXPECT_EQ(still.width, 30u);
}

TEST_F(ImageCodec, AnAnimatedGifAskedForAsWebpStaysAnimated) {
    const auto file = dir.path() / "animated.gif";
    ASSERT_TRUE(write_three_shades(file));
    conversion_parameters box;
    box.width = 30;
    const memory_stream out;
    ASSERT_EQ(convert_file(file, FIF_GIF, box, output_format::webp, out.get()),
              conversion_status::converted);
    const std::string bytes = stream_bytes(out);

    WebPAnimDecoderOptions options;
    ASSERT_TRUE(WebPAnimDecoderOptionsInit(&options));
    options.color_mode = MODE_RGBA;
    const WebPData data{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
    const std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> decoder(
        WebPAnimDecoderNew(&data, &options), &WebPAnimDecoderDelete);
    ASSERT_TRUE(decoder);
    WebPAnimInfo info{};
    ASSERT_TRUE(WebPAnimDecoderGetInfo(decoder.get(), &info));
    EXPECT_EQ(info.canvas_width, 30u);
    EXPECT_EQ(info.canvas_height, 20u);
    EXPECT_EQ(info.loop_count, 3u);
    ASSERT_EQ(info.frame_count, 3u);
    int shown_until = 0;
    for (unsigned index = 0; WebPAnimDecoderHasMoreFrames(decoder.get()); ++index) {
        std::uint8_t* pixels = nullptr;
        int ends = 0;
        ASSERT_TRUE(WebPAnimDecoderGetNext(decoder.get(), &pixels, &ends));
        EXPECT_EQ(ends - shown_until, static_cast<int>(100 * (index + 1))) << index;
        shown_until = ends;
        EXPECT_NEAR(pixels[(10 * 30 + 15) * 4], shades.at(index), 8) << index;
    }
}

TEST_F(ImageCodec, SourcesOfTooManyPixelsAreRefusedBeforeDecoding) {
    const std::string jpeg = test::read_file(image("small.jpg", 64, 48, output_format::jpeg));
    // 10000 x 10000 is exactly the limit; one row more is over it. The file
    // holds 64 x 48 pixels only, so a claim over the limit must be refused
    // from the header, and one at the limit gets as far as decoding.
    ASSERT_EQ(std::uint64_t{10000} * 10000, max_source_pixels);
    const auto claimed = dir.path() / "claimed.jpg";
    const memory_stream out;
    test::write_file(claimed, test::with_claimed_jpeg_size(jpeg, 10000, 10001));
    EXPECT_EQ(convert_file(claimed, FIF_JPEG, {}, output_format::png, out.get()),
              conversion_status::too_large);
    test::write_file(claimed, test::with_claimed_jpeg_size(jpeg, 60000, 60000));
    EXPECT_EQ(convert_file(claimed, FIF_JPEG, {}, output_format::png, out.get()),
              conversion_status::too_large);
    test::write_file(claimed, test::with_claimed_jpeg_size(jpeg, 64, 48));
    EXPECT_EQ(convert_file(claimed, FIF_JPEG, {}, output_format::png, out.get()),
              conversion_status::converted);

    // A BMP header that claims 20000 x 20000 with no pixels behind it.
    std::string bmp = test::read_file(image("small.bmp", 4, 4, output_format::bmp));
    const auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) bmp.at(at + i) = static_cast<char>(value >> (8 * i));
    };
    put32(18, 20000); // BITMAPINFOHEADER width and height
    put32(22, 20000);
    const auto claimed_bmp = dir.path() / "claimed.bmp";
    test::write_file(claimed_bmp, bmp);
    EXPECT_EQ(convert_file(claimed_bmp, FIF_BMP, {}, output_format::png, out.get()),
              conversion_status::too_large);

    // An AVIF whose image size property claims 20000 x 20000.
    std::string avif = test::read_file(image("small.avif", 8, 8, output_format::avif));
    const std::size_t size_box = avif.find("ispe");
    ASSERT_NE(size_box, std::string::npos);
    for (const std::size_t side : {size_box + 8, size_box + 12}) // after version and flags
        avif.replace(side, 4, std::string("\0\0\x4e\x20", 4));
    const auto claimed_avif = dir.path() / "claimed.avif";
    test::write_file(claimed_avif, avif);
    EXPECT_EQ(convert_file(claimed_avif, avif_format(), {}, output_format::png, out.get()),
              conversion_status::too_large);
}

TEST_F(ImageCodec, AnAnimationIsRefusedWhenItsFramesTimesItsScreenAreTooMany) {
    // Each frame is shown on the whole screen: 2 frames of 1 x 1 on an
    // 8000 x 8000 screen are 128 million pixels to convert, though each
    // screen alone is within the limit and each frame is tiny.
    const auto file = dir.path() / "wide-screen.gif";
    const test::gif_frame dot{.width = 1, .height = 1};
    ASSERT_TRUE(test::write_animated_gif(file, 8000, 8000, {dot, dot}, false));
    conversion_parameters box;
    box.width = 50;
    for (const auto format : {output_format::gif, output_format::webp}) {
        const memory_stream out;
        EXPECT_EQ(convert_file(file, FIF_GIF, box, format, out.get()), conversion_status::too_large)
            << format_name(format);
    }
}

// A grey picture as values, row by row from the top.
struct grey_pixels {
    unsigned width;
    unsigned height;
    std::vector<double> values;
};

grey_pixels grey_of(FIBITMAP* image) {
    grey_pixels grey{FreeImage_GetWidth(image), FreeImage_GetHeight(image), {}};
    for (unsigned y = 0; y < grey.height; ++y) {
        for (unsigned x = 0; x < grey.width; ++x) {
            RGBQUAD colour{};
            FreeImage_GetPixelColor(image, x, grey.height - 1 - y, &colour);
            grey.values.push_back(colour.rgbGreen);
        }
    }
    return grey;
}

// The textbook Lanczos-3 downscale of each row to `width`, written apart
// from the library's: kernels widened by the scale, pixel centres at half
// steps. The result comes transposed, so that two calls scale both axes.
grey_pixels lanczos3_rows_transposed(const grey_pixels& in, unsigned width) {
    constexpr double pi = 3.14159265358979323846;
    const auto lanczos3 = [](double x) {
        if (x == 0) return 1.0;
        return std::abs(x) >= 3 ? 0.0
                                : 3 * std::sin(pi * x) * std::sin(pi * x / 3) / (pi * pi * x * x);
    };
    const double scale = double(width) / in.width;
    grey_pixels out{in.height, width, std::vector<double>(std::size_t{width} * in.height)};
    for (unsigned x = 0; x < width; ++x) {
        const double centre = (x + 0.5) / scale;
        const long first = std::max(0L, long(centre - 3 / scale));
        const long last = std::min(long(in.width) - 1, long(centre + 3 / scale) + 1);
        for (unsigned y = 0; y < in.height; ++y) {
            double total = 0, weights = 0;
            for (long i = first; i <= last; ++i) {
                const double weight = lanczos3((i + 0.5 - centre) * scale);
                total += weight * in.values[std::size_t{y} * in.width + i];
                weights += weight;
            }
            out.values[std::size_t{x} * in.height + y] = total / weights;
        }
    }
    return out;
}

TEST(Resampling, ADownscaleAgreesWithALanczosReferenceOnSmoothPictures) {
    // Smooth, photograph-like light: broad gradients and soft waves, detail
    // well within what the smaller size can hold.
    constexpr unsigned width = 640, height = 480, reduced_width = 160, reduced_height = 120;
    FIBITMAP* source = FreeImage_Allocate(width, height, 24);
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            const double light = 110 + 70.0 * x / width - 40.0 * y / height +
                                 35 * std::sin(x / 23.0) * std::cos(y / 31.0) +
                                 15 * std::sin(x / 5.0 + y / 7.0);
            RGBQUAD colour{};
            colour.rgbRed = colour.rgbGreen = colour.rgbBlue = BYTE(std::clamp(light, 0.0, 255.0));
            FreeImage_SetPixelColor(source, x, y, &colour);
        }
    }
    const test::temp_dir dir;
    const auto file = dir.path() / "smooth.png";
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, source, file.string().c_str(), 0));
    const grey_pixels reference = lanczos3_rows_transposed(
        lanczos3_rows_transposed(grey_of(source), reduced_width), reduced_height);
    FreeImage_Unload(source);

    conversion_parameters parameters;
    parameters.width = reduced_width;
    const memory_stream out;
    ASSERT_EQ(convert_file(file, FIF_PNG, parameters, output_format::png, out.get()),
              conversion_status::converted);
    FreeImage_SeekMemory(out.get(), 0, SEEK_SET);
    FIBITMAP* converted = FreeImage_LoadFromMemory(FIF_PNG, out.get(), 0);
    ASSERT_NE(converted, nullptr);
    const grey_pixels result = grey_of(converted);
    FreeImage_Unload(converted);
    ASSERT_EQ(result.width, reduced_width);
    ASSERT_EQ(result.height, reduced_height);

    double squared_error = 0;
    for (std::size_t i = 0; i < result.values.size(); ++i) {
        const double expected = std::clamp(std::round(reference.values[i]), 0.0, 255.0);
        squared_error += std::pow(result.values[i] - expected, 2);
    }
    const double mean = squared_error / double(result.values.size());
    const double psnr = 10 * std::log10(255.0 * 255.0 / std::max(mean, 1e-12));
    EXPECT_GE(psnr, 35.0);
    std::cout << "PSNR against Lanczos-3: " << psnr << " dB\n";
}

TEST(OutputFormats, DefaultIsTheSourcesOwnFormatWhereAClientCouldAskForIt) {
    EXPECT_EQ(default_output_format(FIF_JPEG), output_format::jpeg);
    EXPECT_EQ(default_output_format(FIF_GIF), output_format::gif);
    EXPECT_EQ(default_output_format(FIF_TIFF), output_format::png);
    EXPECT_EQ(default_output_format(avif_format()), output_format::avif);
    EXPECT_EQ(default_output_format(heif_format()), output_format::jpeg);
}

// How a test source is made: its pixel type, bits per pixel, the format
// the library writes it as, with which save flags; and the brightness its
// PNG answer must have, where one follows from the data.
struct source_kind {
    const char* name;
    FREE_IMAGE_TYPE type;
    int bpp;
    FREE_IMAGE_FORMAT format;
    int flags;
    int brightness; // -1: not checked
};

// A source of that kind (80 x 40: the JPEG 2000 coder wants 32 pixels a
// side at least), every byte set to a mid value (floats to 0.5), a
// palette coloured rather than grey.
std::filesystem::path typed_source(const std::filesystem::path& directory,
                                   const source_kind& kind) {
    FIBITMAP* image = FreeImage_AllocateT(kind.type, 80, 40, kind.bpp);
    if (image == nullptr) return {};
    const bool floats = kind.type == FIT_FLOAT || kind.type == FIT_RGBF || kind.type == FIT_RGBAF;
    for (unsigned y = 0; y < 40; ++y) {
        BYTE* line = FreeImage_GetScanLine(image, static_cast<int>(y));
        if (floats) {
            std::fill_n(reinterpret_cast<float*>(line), FreeImage_GetLine(image) / sizeof(float),
                        0.5F);
        } else {
            std::fill_n(line, FreeImage_GetLine(image), BYTE{0x80});
        }
    }
    RGBQUAD* palette = FreeImage_GetPalette(image);
    for (unsigned i = 0; palette != nullptr && i < FreeImage_GetColorsUsed(image); ++i) {
        palette[i].rgbRed = static_cast<BYTE>(i * 3);
        palette[i].rgbBlue = static_cast<BYTE>(255 - i);
    }
    const auto file = directory / kind.name;
    const bool saved =
        FreeImage_Save(kind.format, image, file.string().c_str(), kind.flags) != FALSE;
    FreeImage_Unload(image);
    return saved ? file : std::filesystem::path{};
}

TEST(PixelTypes, EveryTypeConvertsToEveryOutputFormatInEveryFitMode) {
    const std::vector<source_kind> kinds = {
        {"bw.bmp", FIT_BITMAP, 1, FIF_BMP, 0, -1},
        {"bw.tif", FIT_BITMAP, 1, FIF_TIFF, TIFF_CCITTFAX4, -1},
        {"palette4.bmp", FIT_BITMAP, 4, FIF_BMP, 0, -1},
        {"palette4.tif", FIT_BITMAP, 4, FIF_TIFF, 0, -1},
        {"palette8.png", FIT_BITMAP, 8, FIF_PNG, 0, 128},
        {"palette8.gif", FIT_BITMAP, 8, FIF_GIF, 0, 128},
        {"rgb24.tif", FIT_BITMAP, 24, FIF_TIFF, 0, 128},
        {"rgba32.png", FIT_BITMAP, 32, FIF_PNG, 0, 128},
        {"cmyk.tif", FIT_BITMAP, 32, FIF_TIFF, TIFF_CMYK, 63},
        {"grey16.png", FIT_UINT16, 16, FIF_PNG, 0, 128},
        {"grey16.pgm", FIT_UINT16, 16, FIF_PGMRAW, 0, 128},
        {"grey16.jp2", FIT_UINT16, 16, FIF_JP2, 0, 128},
        {"rgb16.png", FIT_RGB16, 48, FIF_PNG, 0, 128},
        {"rgb16-interlaced.png", FIT_RGB16, 48, FIF_PNG, PNG_INTERLACED, 128},
        {"rgb16.tif", FIT_RGB16, 48, FIF_TIFF, 0, 128},
        {"rgb16-lzw.tif", FIT_RGB16, 48, FIF_TIFF, TIFF_LZW, 128},
        {"rgb16.ppm", FIT_RGB16, 48, FIF_PPMRAW, 0, 128},
        {"rgb16.j2k", FIT_RGB16, 48, FIF_J2K, 0, 128},
        {"rgba16.png", FIT_RGBA16, 64, FIF_PNG, 0, 128},
        {"rgba16.tif", FIT_RGBA16, 64, FIF_TIFF, 0, 128},
        {"int16.tif", FIT_INT16, 16, FIF_TIFF, 0, -1},
        {"uint32.tif", FIT_UINT32, 32, FIF_TIFF, 0, -1},
        {"int32.tif", FIT_INT32, 32, FIF_TIFF, 0, -1},
        {"double.tif", FIT_DOUBLE, 64, FIF_TIFF, 0, -1},
        {"complex.tif", FIT_COMPLEX, 128, FIF_TIFF, 0, -1},
        {"float.tif", FIT_FLOAT, 32, FIF_TIFF, 0, 128},
        {"rgbf.tif", FIT_RGBF, 96, FIF_TIFF, 0, 128},
        {"rgbaf.tif", FIT_RGBAF, 128, FIF_TIFF, 0, 128},
        {"rgbf.hdr", FIT_RGBF, 96, FIF_HDR, 0, -1},
        {"half.exr", FIT_RGBF, 96, FIF_EXR, 0, -1},
        {"half-alpha.exr", FIT_RGBAF, 128, FIF_EXR, 0, -1},
        {"float.exr", FIT_FLOAT, 32, FIF_EXR, EXR_FLOAT, -1},
    };
    // The 80 x 40 sources in every fit mode: the box asked for, what it makes.
    const struct {
        fit_mode fit;
        image_size box;
        image_size made;
    } fits[] = {{fit_mode::inside, {20, 0}, {20, 10}},
                {fit_mode::cover, {16, 16}, {16, 16}},
                {fit_mode::fill, {30, 8}, {30, 8}}};
    const test::temp_dir dir;
    for (const auto& kind : kinds) {
        const auto file = typed_source(dir.path(), kind);
        ASSERT_FALSE(file.empty()) << kind.name;
        const auto opened = os::read_only_file::open(file.string());
        ASSERT_TRUE(opened) << kind.name;
        const auto source_format = readable_format(*opened);
        ASSERT_TRUE(source_format) << kind.name;
        for (const output_format output : output_formats) {
            if (!can_write(output)) continue;
            for (const auto& [fit, box, made] : fits) {
                // As the host converts: named from the header first, so that
                // a plan that the decode does not follow shows as a 409.
                conversion_job job;
                job.source = opened.get();
                job.relative_source = kind.name;
                job.source_format = *source_format;
                job.format = output;
                job.parameters.fit = fit;
                job.parameters.width = static_cast<int>(box.width);
                if (fit != fit_mode::inside) job.parameters.height = static_cast<int>(box.height);
                name_cache_entry(job);
                const std::string row = std::string(kind.name) + " to " +
                                        std::string(format_name(output)) + " " +
                                        std::string(fit_name(fit));
                const memory_stream out;
                ASSERT_EQ(host_convert_core(&job, out.get()), conversion_end::converted) << row;
                const auto result = test::decode(stream_bytes(out));
                EXPECT_EQ(result.format, library_format(output)) << row;
                EXPECT_EQ(result.width, made.width) << row;
                EXPECT_EQ(result.height, made.height) << row;
                if (output == output_format::png && kind.brightness >= 0) {
                    EXPECT_NEAR(
                        test::brightness_at(stream_bytes(out), made.width / 2, made.height / 2),
                        kind.brightness, 2)
                        << row;
                }
            }
        }
    }
}

} // namespace
} // namespace quorin::host
