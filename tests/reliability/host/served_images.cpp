#include "served_images.h"

#include <FreeImage.h>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "support/end_to_end.h"
#include "support/versioned_images.h"

namespace quorin::test {
namespace {

struct colour {
    int red, green, blue;
};

// Colours of successive versions lie far apart in red and green.
colour colour_of(int image, int version) {
    return {version * 53 % 256, (version * 101 + 40) % 256, image * 29 % 256};
}

bool close_to(const RGBQUAD& pixel, const colour& expected) {
    return std::abs(pixel.rgbRed - expected.red) <= 3 &&
           std::abs(pixel.rgbGreen - expected.green) <= 3 &&
           std::abs(pixel.rgbBlue - expected.blue) <= 3;
}

std::chrono::system_clock::time_point time_of(int version) {
    const FILETIME time = source_time_of(version);
    const std::uint64_t ticks = (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds((ticks - 116'444'736'000'000'000ull) * 100)));
}

} // namespace

std::string source_name(int image) { return "img-" + std::to_string(image) + ".png"; }

void write_source(const std::filesystem::path& images, int image, int version) {
    const colour fill = colour_of(image, version);
    const std::unique_ptr<FIBITMAP, decltype(&FreeImage_Unload)> bitmap(
        FreeImage_Allocate(source_width, source_height, 24), &FreeImage_Unload);
    RGBQUAD pixel{static_cast<BYTE>(fill.blue), static_cast<BYTE>(fill.green),
                  static_cast<BYTE>(fill.red), 0};
    for (unsigned y = 0; y < source_height; ++y) {
        for (unsigned x = 0; x < source_width; ++x)
            FreeImage_SetPixelColor(bitmap.get(), x, y, &pixel);
    }
    const auto staged = images / (".staged-" + source_name(image));
    if (!FreeImage_Save(FIF_PNG, bitmap.get(), staged.c_str(), 0))
        throw std::runtime_error("cannot write a source");
    set_modification_time(staged, time_of(version));
    std::filesystem::rename(staged, images / source_name(image));
}

std::string target_of(int image, unsigned w) {
    return "/" + source_name(image) + "?w=" + std::to_string(w) + "&format=png";
}

std::string check_png(const std::string& bytes, int image, unsigned w, int version) {
    FIMEMORY* memory = FreeImage_OpenMemory(
        reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())), static_cast<DWORD>(bytes.size()));
    FIBITMAP* bitmap = FreeImage_GetFileTypeFromMemory(memory) == FIF_PNG
                           ? FreeImage_LoadFromMemory(FIF_PNG, memory)
                           : nullptr;
    FreeImage_CloseMemory(memory);
    if (bitmap == nullptr) return "not a whole PNG (" + std::to_string(bytes.size()) + " bytes)";
    const unsigned width = FreeImage_GetWidth(bitmap);
    const unsigned height = FreeImage_GetHeight(bitmap);
    RGBQUAD pixel{};
    const bool read = FreeImage_GetPixelColor(bitmap, width / 2, height / 2, &pixel);
    FreeImage_Unload(bitmap);
    // The host never enlarges.
    const unsigned expected_width = std::min(w, source_width);
    const unsigned expected_height =
        (expected_width * source_height + source_width / 2) / source_width;
    if (width != expected_width || height < expected_height - 1 || height > expected_height + 1) {
        return "size " + std::to_string(width) + "x" + std::to_string(height);
    }
    if (!read || !close_to(pixel, colour_of(image, version))) {
        std::string which = "no version near it";
        for (int other = std::max(0, version - 8); other <= version + 8; ++other) {
            if (read && close_to(pixel, colour_of(image, other)))
                which = "that of version " + std::to_string(other);
        }
        return "colour is not that of version " + std::to_string(version) + " but " + which;
    }
    return {};
}

std::string check_answer(const http_response& response, bool head, int image, unsigned w) {
    if (response.status != 200) return "status " + std::to_string(response.status);
    if (response.header("content-type") != "image/png")
        return "Content-Type " + response.header("content-type");
    const auto version =
        version_named_by("Last-Modified: " + response.header("last-modified") + "\r\n");
    if (!version) return "Last-Modified names no version: " + response.header("last-modified");
    if (head) return response.body.empty() ? "" : "body sent for HEAD";
    if (response.header("content-length") != std::to_string(response.body.size())) {
        return "Content-Length " + response.header("content-length") + " but " +
               std::to_string(response.body.size()) + " bytes";
    }
    const std::string wrong = check_png(response.body, image, w, *version);
    return wrong.empty()
               ? ""
               : wrong + " (Last-Modified names version " + std::to_string(*version) + ")";
}

std::pair<int, unsigned> image_and_width_of(const std::string& cache_name) {
    const auto size = cache_name.find('_');
    return {std::stoi(cache_name.substr(4, size - 4)),
            static_cast<unsigned>(std::stoul(cache_name.substr(size + 1)))};
}

} // namespace quorin::test
