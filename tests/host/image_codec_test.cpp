#include "image_codec.h"

#include <FreeImage.h>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

#include "sample_images.h"
#include "support/decoded_image.h"
#include "support/temp_dir.h"

namespace quorin::host {
namespace {

std::string stream_bytes(const memory_stream& stream) {
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!FreeImage_AcquireMemory(stream.get(), &data, &size)) return {};
    return std::string(reinterpret_cast<const char*>(data), size);
}

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
        EXPECT_EQ(convert_image(file, *source_format, parameters, format, out.get()),
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
    const std::vector<std::pair<output_format, int>> formats = {{output_format::png, FIF_PNG},
                                                                {output_format::jpeg, FIF_JPEG},
                                                                {output_format::gif, FIF_GIF},
                                                                {output_format::bmp, FIF_BMP},
                                                                {output_format::webp, FIF_WEBP}};
    for (const auto& [source_format, source_code] : formats) {
        if (!can_write(source_format)) continue;
        const auto file = image("source." + std::string(format_extension(source_format)), 200, 100,
                                source_format);
        for (const auto& [target, target_code] : formats) {
            if (!can_write(target)) continue;
            const auto result = convert(file, 50, std::nullopt, target);
            EXPECT_EQ(result.format, target_code)
                << format_name(source_format) << " to " << format_name(target);
            EXPECT_EQ(result.width, 50u);
            EXPECT_EQ(result.height, 25u);
        }
    }
}

TEST_F(ImageCodec, TransparencyIsKeptWhereTheFormatHasItAndFlattenedElsewhere) {
    // The rings pattern is transparent outside its circle.
    const auto file = image("rings.png", 64, 64, output_format::png, pattern::rings, true);
    EXPECT_EQ(convert(file, 32, 32, output_format::png).bpp, 32u);
    EXPECT_EQ(convert(file, 32, 32, output_format::jpeg).bpp, 24u);
    EXPECT_EQ(convert(file, 32, 32, output_format::gif).bpp, 8u);
}

TEST_F(ImageCodec, NeverEnlarges) {
    const auto result =
        convert(image("small.png", 40, 30, output_format::png), 400, 300, output_format::png);
    EXPECT_EQ(result.width, 40u);
    EXPECT_EQ(result.height, 30u);
}

TEST_F(ImageCodec, QualityChangesTheJpegSize) {
    const auto file = image("q.jpg", 400, 300, output_format::jpeg);
    const auto encoded_size = [&](int quality) {
        conversion_parameters parameters;
        parameters.quality = quality;
        const memory_stream out;
        EXPECT_EQ(convert_image(file, FIF_JPEG, parameters, output_format::jpeg, out.get()),
                  conversion_status::converted);
        return stream_bytes(out).size();
    };
    EXPECT_LT(encoded_size(10), encoded_size(95));
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
    EXPECT_EQ(convert_image(broken, FIF_JPEG, {}, output_format::png, out.get()),
              conversion_status::unreadable);
}

// An 800 x 400 JPEG, black on its left half, white on its right.
std::string half_black_jpeg() {
    FIBITMAP* image = FreeImage_Allocate(800, 400, 24);
    for (unsigned y = 0; y < 400; ++y) {
        for (unsigned x = 0; x < 800; ++x) {
            RGBQUAD colour{};
            colour.rgbRed = colour.rgbGreen = colour.rgbBlue = x < 400 ? 0 : 255;
            FreeImage_SetPixelColor(image, x, y, &colour);
        }
    }
    const memory_stream out;
    FreeImage_SaveToMemory(FIF_JPEG, image, out.get(), 90);
    FreeImage_Unload(image);
    return stream_bytes(out);
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
            ASSERT_EQ(convert_image(turned, FIF_JPEG, parameters, output_format::jpeg, out.get()),
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

TEST_F(ImageCodec, SourcesOfTooManyPixelsAreRefusedBeforeDecoding) {
    const std::string jpeg = test::read_file(image("small.jpg", 64, 48, output_format::jpeg));
    // 10000 x 10000 is exactly the limit; one row more is over it. The file
    // holds 64 x 48 pixels only, so a claim over the limit must be refused
    // from the header, and one at the limit gets as far as decoding.
    ASSERT_EQ(std::uint64_t{10000} * 10000, max_source_pixels);
    const auto claimed = dir.path() / "claimed.jpg";
    const memory_stream out;
    test::write_file(claimed, test::with_claimed_jpeg_size(jpeg, 10000, 10001));
    EXPECT_EQ(convert_image(claimed, FIF_JPEG, {}, output_format::png, out.get()),
              conversion_status::too_large);
    test::write_file(claimed, test::with_claimed_jpeg_size(jpeg, 60000, 60000));
    EXPECT_EQ(convert_image(claimed, FIF_JPEG, {}, output_format::png, out.get()),
              conversion_status::too_large);
    test::write_file(claimed, test::with_claimed_jpeg_size(jpeg, 64, 48));
    EXPECT_EQ(convert_image(claimed, FIF_JPEG, {}, output_format::png, out.get()),
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
    EXPECT_EQ(convert_image(claimed_bmp, FIF_BMP, {}, output_format::png, out.get()),
              conversion_status::too_large);
}

TEST(OutputFormats, DefaultIsTheSourcesOwnFormatWhereAClientCouldAskForIt) {
    EXPECT_EQ(default_output_format(FIF_JPEG), output_format::jpeg);
    EXPECT_EQ(default_output_format(FIF_GIF), output_format::gif);
    EXPECT_EQ(default_output_format(FIF_TIFF), output_format::png);
}

// A source of pixel type `type` and `bpp` bits, every byte set to a mid
// value, written through the library as `format`.
std::filesystem::path typed_source(const std::filesystem::path& file, FREE_IMAGE_TYPE type, int bpp,
                                   FREE_IMAGE_FORMAT format) {
    FIBITMAP* image = FreeImage_AllocateT(type, 40, 20, bpp);
    if (image == nullptr) return {};
    for (unsigned y = 0; y < 20; ++y) {
        BYTE* line = FreeImage_GetScanLine(image, static_cast<int>(y));
        if (type == FIT_FLOAT || type == FIT_RGBF || type == FIT_RGBAF) {
            auto* values = reinterpret_cast<float*>(line);
            for (unsigned i = 0; i < FreeImage_GetLine(image) / sizeof(float); ++i)
                values[i] = 0.5F;
        } else {
            std::fill_n(line, FreeImage_GetLine(image), BYTE{0x80});
        }
    }
    const bool saved = FreeImage_Save(format, image, file.string().c_str(), 0) != FALSE;
    FreeImage_Unload(image);
    return saved ? file : std::filesystem::path{};
}

TEST(PixelTypes, EveryTypeConvertsToEveryOutputFormat) {
    struct source_kind {
        const char* name;
        FREE_IMAGE_TYPE type;
        int bpp;
        FREE_IMAGE_FORMAT format;
    };
    const std::vector<source_kind> kinds = {
        {"bw.bmp", FIT_BITMAP, 1, FIF_BMP},        {"bw.tif", FIT_BITMAP, 1, FIF_TIFF},
        {"palette4.tif", FIT_BITMAP, 4, FIF_TIFF}, {"grey8.png", FIT_BITMAP, 8, FIF_PNG},
        {"rgb24.tif", FIT_BITMAP, 24, FIF_TIFF},   {"rgba32.png", FIT_BITMAP, 32, FIF_PNG},
        {"grey16.png", FIT_UINT16, 16, FIF_PNG},   {"rgb16.png", FIT_RGB16, 48, FIF_PNG},
        {"rgb16.tif", FIT_RGB16, 48, FIF_TIFF},    {"rgba16.png", FIT_RGBA16, 64, FIF_PNG},
        {"float.tif", FIT_FLOAT, 32, FIF_TIFF},    {"rgbf.tif", FIT_RGBF, 96, FIF_TIFF},
        {"rgbaf.tif", FIT_RGBAF, 128, FIF_TIFF},   {"rgbf.hdr", FIT_RGBF, 96, FIF_HDR},
    };
    const std::vector<std::pair<output_format, int>> outputs = {{output_format::png, FIF_PNG},
                                                                {output_format::jpeg, FIF_JPEG},
                                                                {output_format::gif, FIF_GIF},
                                                                {output_format::bmp, FIF_BMP},
                                                                {output_format::webp, FIF_WEBP}};
    const test::temp_dir dir;
    for (const auto& kind : kinds) {
        const auto file = typed_source(dir.path() / kind.name, kind.type, kind.bpp, kind.format);
        ASSERT_FALSE(file.empty()) << kind.name;
        const auto source_format = readable_format(file);
        ASSERT_TRUE(source_format) << kind.name;
        for (const auto& [output, code] : outputs) {
            if (!can_write(output)) continue;
            conversion_parameters parameters;
            parameters.width = 20;
            const memory_stream out;
            ASSERT_EQ(convert_image(file, *source_format, parameters, output, out.get()),
                      conversion_status::converted)
                << kind.name << " to " << format_name(output);
            const auto result = test::decode(stream_bytes(out));
            EXPECT_EQ(result.format, code) << kind.name;
            EXPECT_EQ(result.width, 20u) << kind.name;
            EXPECT_EQ(result.height, 10u) << kind.name;
        }
    }
}

} // namespace
} // namespace quorin::host
