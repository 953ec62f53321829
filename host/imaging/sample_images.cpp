#include "imaging/sample_images.h"

#include <FreeImage.h>
#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

#include "imaging/image_codec.h"

namespace quorin::host {
namespace {

struct rgba {
    double red, green, blue, alpha;
};

// Colour of the point (u, v), both in [0, 1].
rgba colour_at(pattern kind, double u, double v) {
    constexpr double pi = std::numbers::pi;
    switch (kind) {
    case pattern::gradient:
        return {u, v, 1.0 - u * v, 1.0};
    case pattern::rings: {
        const double distance = std::hypot(u - 0.5, v - 0.5);
        const double ring = 0.5 + 0.5 * std::cos(distance * 40.0);
        return {ring, 0.4 + 0.4 * u, 1.0 - ring, distance < 0.5 ? 1.0 : 0.0};
    }
    case pattern::checker: {
        const bool dark = (static_cast<int>(u * 12) + static_cast<int>(v * 12)) % 2 == 0;
        return dark ? rgba{0.15, 0.2 + 0.5 * v, 0.35, 1.0} : rgba{0.95, 0.85, 0.3 + 0.6 * u, 1.0};
    }
    case pattern::waves:
        return {0.5 + 0.5 * std::sin(u * 6 * pi + v * 2 * pi), 0.5 + 0.5 * std::sin(v * 5 * pi),
                0.5 + 0.5 * std::cos((u + v) * 3 * pi), 1.0};
    }
    return {0, 0, 0, 1};
}

BYTE channel(double value) {
    return static_cast<BYTE>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
}

} // namespace

bool write_pattern_image(const std::filesystem::path& file, unsigned width, unsigned height,
                         output_format format, pattern kind, bool transparent) {
    const int bpp = transparent ? 32 : 24;
    const std::unique_ptr<FIBITMAP, decltype(&FreeImage_Unload)> image(
        FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), bpp),
        &FreeImage_Unload);
    if (!image) return false;
    const unsigned step = static_cast<unsigned>(bpp / 8);
    for (unsigned y = 0; y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(image.get(), static_cast<int>(height - 1 - y));
        for (unsigned x = 0; x < width; ++x) {
            const rgba colour = colour_at(kind, (x + 0.5) / width, (y + 0.5) / height);
            BYTE* pixel = line + x * step;
            pixel[FI_RGBA_RED] = channel(colour.red);
            pixel[FI_RGBA_GREEN] = channel(colour.green);
            pixel[FI_RGBA_BLUE] = channel(colour.blue);
            if (transparent) pixel[FI_RGBA_ALPHA] = channel(colour.alpha);
        }
    }
    return write_image_file(image.get(), format, 90, file);
}

std::vector<std::filesystem::path> make_sample_images(const std::filesystem::path& directory) {
    struct sample {
        const char* name;
        unsigned width, height;
        output_format format;
        pattern kind;
        bool transparent;
    };
    const sample samples[] = {
        {"sunrise.jpg", 1600, 1200, output_format::jpeg, pattern::gradient, false},
        {"tower.jpg", 900, 1600, output_format::jpeg, pattern::waves, false},
        {"rings.png", 1024, 1024, output_format::png, pattern::rings, true},
        {"tiles.gif", 640, 480, output_format::gif, pattern::checker, false},
        {"waves.bmp", 800, 600, output_format::bmp, pattern::waves, false},
        {"meadow.webp", 1200, 800, output_format::webp, pattern::gradient, false},
    };
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    std::vector<std::filesystem::path> written;
    for (const auto& entry : samples) {
        if (!can_write(entry.format)) continue;
        const auto file = directory / entry.name;
        if (write_pattern_image(file, entry.width, entry.height, entry.format, entry.kind,
                                entry.transparent)) {
            written.push_back(file);
        }
    }
    return written;
}

} // namespace quorin::host
