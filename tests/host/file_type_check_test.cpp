#include "imaging/file_type_check.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "imaging/windowed_reader.h"
#include "os/read_only_file.h"
#include "support/temp_dir.h"

namespace quorin::host {
namespace {

using stdio_file = std::unique_ptr<FILE, decltype(&std::fclose)>;

// Every format the library writes here, as a small image of the first
// pixel layout its writer takes.
std::vector<std::filesystem::path> write_every_format(const std::filesystem::path& directory) {
    std::vector<std::filesystem::path> files;
    for (int code = 0; code < FreeImage_GetFIFCount(); ++code) {
        const auto format = static_cast<FREE_IMAGE_FORMAT>(code);
        // Two of Debian's writers fail the sanitizer builds on their own: the
        // JPEG-XR encoder copies between overlapping buffers and the PSD
        // writer leaks. Neither is a format a client can ask for.
        if (!FreeImage_FIFSupportsWriting(format) || format == FIF_JXR || format == FIF_PSD)
            continue;
        for (const int bpp : {24, 8, 1}) {
            if (!FreeImage_FIFSupportsExportBPP(format, bpp)) continue;
            const std::unique_ptr<FIBITMAP, decltype(&FreeImage_Unload)> image(
                FreeImage_Allocate(70, 50, bpp), &FreeImage_Unload);
            BYTE* bits = FreeImage_GetBits(image.get());
            for (unsigned i = 0; i < FreeImage_GetPitch(image.get()) * 50; ++i)
                bits[i] = static_cast<BYTE>(i * 7);
            const auto file = directory / ("image" + std::to_string(code) + "." +
                                           FreeImage_GetFormatFromFIF(format));
            if (FreeImage_Save(format, image.get(), file.string().c_str(), 0)) {
                files.push_back(file);
                break;
            }
        }
    }
    return files;
}

TEST(FileTypeCheck, AnswersWhatTheLibraryAnswersForEveryFormatAndEveryCutOfIt) {
    test::temp_dir dir;
    const auto images = write_every_format(dir.path());
    ASSERT_GE(images.size(), 5u);

    std::vector<std::filesystem::path> files = images;
    // The head of each image cut at the lengths where format checks look,
    // then the image with its last byte missing: the checks that look at
    // the end of a file see another end.
    int cut = 0;
    for (const auto& image : images) {
        const std::string bytes = test::read_file(image);
        for (const std::size_t length :
             {0, 1, 2, 3, 4, 6, 8, 12, 16, 18, 26, 32, 100, 4095, 4096, 4097}) {
            if (length >= bytes.size()) continue;
            files.push_back(dir.path() / ("cut" + std::to_string(cut++)));
            test::write_file(files.back(), bytes.substr(0, length));
        }
        files.push_back(dir.path() / ("cut" + std::to_string(cut++)));
        test::write_file(files.back(), bytes.substr(0, bytes.size() - 1));
    }
    for (const char* text :
         {"P1\n2 2\n0 1 1 0\n", "#define x_width 8\n", "/* XPM */\n", "BM", "\x89PNG", "II*",
          "GIF89a", "RIFF\0\0\0\0WEBP", "just some text that is no image at all"}) {
        files.push_back(dir.path() / ("text" + std::to_string(cut++)));
        test::write_file(files.back(), text);
    }
    files.push_back(dir.path());                 // a directory opens but reads nothing
    files.push_back(dir.path() / "missing.png"); // no file at all

    std::set<int> answers;
    for (const auto& file : files) {
        const int expected = FreeImage_GetFileType(file.string().c_str(), 0);
        EXPECT_EQ(file_type_of(file), expected) << file;
        answers.insert(expected);
    }
    // The comparison covered many formats, not only "unknown".
    answers.erase(FIF_UNKNOWN);
    EXPECT_GE(answers.size(), 5u);
}

TEST(WindowedReader, ReadsSeeksAndTellsAsAStdioStream) {
    test::temp_dir dir;
    std::mt19937 random(20240611);
    std::string bytes(10000, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    const auto path = dir.path() / "bytes";
    test::write_file(path, bytes);

    const auto file = os::read_only_file::open(path.string());
    ASSERT_TRUE(file);
    windowed_reader reader(*file);
    const stdio_file stream(std::fopen(path.string().c_str(), "rb"), &std::fclose);
    ASSERT_TRUE(stream);

    std::uniform_int_distribution<int> operation(0, 3);
    std::uniform_int_distribution<std::size_t> origin_index(0, 2);
    std::uniform_int_distribution<long> offset(-12000, 12000);
    std::uniform_int_distribution<unsigned> item(0, 9);
    std::uniform_int_distribution<unsigned> count(0, 1500);
    for (int step = 0; step < 5000; ++step) {
        switch (operation(random)) {
        case 0: {
            const unsigned size = item(random), items = count(random);
            std::vector<char> got(std::size_t{size} * items + 1, 'x'), want(got.size(), 'x');
            ASSERT_EQ(reader.read(got.data(), size, items),
                      std::fread(want.data(), size, items, stream.get()))
                << "step " << step;
            ASSERT_EQ(got, want) << "step " << step;
            break;
        }
        default: {
            const int origin = std::array{SEEK_SET, SEEK_CUR, SEEK_END}[origin_index(random)];
            const long by = offset(random);
            ASSERT_EQ(reader.seek(by, origin), std::fseek(stream.get(), by, origin))
                << "step " << step;
        }
        }
        ASSERT_EQ(reader.tell(), std::ftell(stream.get())) << "step " << step;
    }
    EXPECT_EQ(reader.seek(0, 7), -1);
}

} // namespace
} // namespace quorin::host
