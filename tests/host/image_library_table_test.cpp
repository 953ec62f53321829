#include "chain/image_library_table.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include "base/utf16_text.h"
#include "imaging/image_codec.h"
#include "imaging/sample_images.h"
#include "support/temp_dir.h"
#include "variant/cache_key.h"
#include "variant/cache_name_formats.h"

namespace quorin::host {
namespace {

TEST(ImageLibraryTable, HoldsTheLibraryAtTheModulesPositions) {
    FreeImageFunction* table = image_library_table();
    EXPECT_EQ(table[FreeImageAPI_AcquireMemory],
              reinterpret_cast<FreeImageFunction>(&FreeImage_AcquireMemory));
    EXPECT_EQ(table[FreeImageAPI_GetFIFMimeType],
              reinterpret_cast<FreeImageFunction>(&FreeImage_GetFIFMimeType));
    EXPECT_EQ(table[FreeImageAPI_GetFileTypeFromMemory],
              reinterpret_cast<FreeImageFunction>(&FreeImage_GetFileTypeFromMemory));
    EXPECT_EQ(table[FreeImageAPI_GetFileTypeU],
              reinterpret_cast<FreeImageFunction>(&file_type_of_utf16_path));
    EXPECT_GE(image_library_table_size, 55);
    EXPECT_EQ(table, image_library_table());
}

TEST(ImageLibraryTable, FindsAFilesTypeFromItsContentByUtf16Path) {
    test::temp_dir dir;
    const std::string name = "caf\xc3\xa9 picture.gif"; // no help from the extension: it lies
    ASSERT_TRUE(
        write_pattern_image(dir.path() / name, 16, 16, output_format::png, pattern::checker));
    test::write_file(dir.path() / "text.png", "plain text");

    const auto type_of = reinterpret_cast<FreeImage_GetFileTypeU_t>(
        image_library_table()[FreeImageAPI_GetFileTypeU]);
    EXPECT_EQ(type_of(to_utf16((dir.path() / name).string()).c_str(), 0), FIF_PNG);
    EXPECT_EQ(type_of(to_utf16((dir.path() / "text.png").string()).c_str(), 0), FIF_UNKNOWN);
    EXPECT_EQ(type_of(to_utf16((dir.path() / "missing.png").string()).c_str(), 0), FIF_UNKNOWN);
    const std::u16string unpaired = to_utf16(dir.path().string()) + u"/\xD800.png";
    EXPECT_EQ(type_of(unpaired.c_str(), 0), FIF_UNKNOWN);
}

TEST(ImageLibraryTable, NamesTheHostsAvifFilesWithTheirOwnCodeAndMimeType) {
    test::temp_dir dir;
    const auto file = dir.path() / "stored.bin";
    ASSERT_TRUE(write_pattern_image(file, 16, 16, output_format::avif, pattern::checker));
    FreeImageFunction* table = image_library_table();
    const int code = reinterpret_cast<FreeImage_GetFileTypeU_t>(table[FreeImageAPI_GetFileTypeU])(
        to_utf16(file.string()).c_str(), 0);
    EXPECT_GT(code, FIF_JXR); // past the last of the library's own formats
    EXPECT_STREQ(
        reinterpret_cast<FreeImage_GetFIFMimeType_t>(table[FreeImageAPI_GetFIFMimeType])(code),
        "image/avif");

    std::string bytes = test::read_file(file);
    FIMEMORY* stream = FreeImage_OpenMemory(reinterpret_cast<BYTE*>(bytes.data()),
                                            static_cast<DWORD>(bytes.size()));
    EXPECT_EQ(reinterpret_cast<FreeImage_GetFileTypeFromMemory_t>(
                  table[FreeImageAPI_GetFileTypeFromMemory])(stream, 0),
              code);
    FreeImage_CloseMemory(stream);
}

// What the module asks on every hit: a cache file the host named is told
// by its name alone, with no file looked at, so even where none is.
TEST(ImageLibraryTable, TellsACacheFileTheHostNamedByItsName) {
    const auto type_of = reinterpret_cast<FreeImage_GetFileTypeU_t>(
        image_library_table()[FreeImageAPI_GetFileTypeU]);
    test::temp_dir dir;
    const std::u16string leaf = to_utf16((dir.path() / "4" / "61").string()) + u"/";
    conversion_parameters parameters;
    parameters.width = 100;
    for (const auto format : {output_format::png, output_format::jpeg, output_format::gif,
                              output_format::bmp, output_format::webp}) {
        const auto key = cache_key("albums/photo.tif", parameters, std::nullopt, format);
        EXPECT_EQ(type_of((leaf + std::u16string(cache_name_in(key))).c_str(), 0),
                  library_format(format));
    }
    EXPECT_EQ(type_of((leaf + u"photo_w100_0123456789abcdef.png").c_str(), 0), FIF_UNKNOWN);
}

TEST(Utf16Text, ConvertsBothWaysAndMarksWhatIsNotText) {
    EXPECT_EQ(to_utf16("caf\xc3\xa9/\xf0\x9f\x93\xb7"), u"caf\u00e9/\U0001F4F7");
    EXPECT_EQ(to_utf8(u"caf\u00e9/\U0001F4F7"), "caf\xc3\xa9/\xf0\x9f\x93\xb7");
    EXPECT_EQ(to_utf16("a\xffz"), u"a\uFFFDz");
    EXPECT_FALSE(to_utf8(std::u16string(1, u'\xDC00')));
    // Text not valid after an ASCII start leaves what was there alone.
    std::string out = "k/";
    EXPECT_FALSE(append_utf8(out, u"ab\xD800z"));
    EXPECT_EQ(out, "k/");
}

} // namespace
} // namespace quorin::host
