#include "support/bmp_file.h"

#include <cstdint>

namespace quorin::test {
namespace {

void put(std::string& bytes, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

constexpr std::uint32_t bi_rgb = 0, bi_bitfields = 3;

// The pixels, rows as stored, each padded to four bytes.
std::string pixel_rows(const bmp_picture& picture, const bmp_pixels& pixel) {
    const unsigned stride = (picture.width * picture.bits + 31) / 32 * 4;
    const unsigned greys = picture.bits <= 8 ? 1u << picture.bits : 0;
    std::string rows;
    for (unsigned stored = 0; stored < picture.height; ++stored) {
        const unsigned y = picture.top_down ? stored : picture.height - 1 - stored;
        std::string row(stride, '\0');
        for (unsigned x = 0; x < picture.width; ++x) {
            const auto [red, green, blue, alpha] = pixel(x, y);
            if (greys != 0) {
                const unsigned index = (red * (greys - 1) + 127) / 255;
                const unsigned bit = x * picture.bits;
                row[bit / 8] =
                    static_cast<char>(row[bit / 8] | index << (8 - picture.bits - bit % 8));
            } else if (picture.bits == 16) {
                const unsigned value = (red >> 3) << 10 | (green >> 3) << 5 | blue >> 3;
                row[2 * x] = static_cast<char>(value & 0xFF);
                row[2 * x + 1] = static_cast<char>(value >> 8);
            } else {
                const unsigned at = x * picture.bits / 8;
                row[at] = static_cast<char>(blue);
                row[at + 1] = static_cast<char>(green);
                row[at + 2] = static_cast<char>(red);
                if (picture.bits == 32) row[at + 3] = static_cast<char>(picture.alpha ? alpha : 0);
            }
        }
        rows += row;
    }
    return rows;
}

} // namespace

std::string bmp_file(const bmp_picture& picture, const bmp_pixels& pixel) {
    const unsigned greys = picture.bits <= 8 ? 1u << picture.bits : 0;
    std::string palette;
    for (unsigned i = 0; i < greys; ++i) {
        const auto grey = static_cast<char>(i * 255 / (greys - 1));
        palette += std::string{grey, grey, grey, '\0'};
    }
    const std::string rows = pixel_rows(picture, pixel);
    const bool masked = picture.info_size >= 52 && (picture.bits == 16 || picture.bits == 32);

    std::string info;
    put(info, picture.info_size, 4);
    put(info, picture.width, 4);
    const auto height = static_cast<std::int32_t>(picture.height);
    put(info, static_cast<std::uint32_t>(picture.top_down ? -height : height), 4);
    put(info, 1, 2);
    put(info, picture.bits, 2);
    put(info, masked ? bi_bitfields : bi_rgb, 4);
    put(info, static_cast<std::uint32_t>(rows.size()), 4);
    put(info, 2835, 4); // 72 dots per inch
    put(info, 2835, 4);
    put(info, 0, 4); // every palette entry used
    put(info, 0, 4);
    if (picture.info_size >= 52) {
        const bool five = picture.bits == 16;
        put(info, five ? 0x7C00 : 0xFF0000, 4);
        put(info, five ? 0x3E0 : 0xFF00, 4);
        put(info, five ? 0x1F : 0xFF, 4);
    }
    if (picture.info_size >= 56) put(info, picture.alpha ? 0xFF000000 : 0, 4);
    const bool embeds = picture.info_size >= 124 && !picture.icc_profile.empty();
    if (picture.info_size >= 108) {
        put(info, embeds ? 0x4D424544 : 0x73524742, 4); // 'MBED' or 'sRGB'
        info += std::string(36 + 12, '\0');             // end points and gamma, unused
    }
    if (picture.info_size >= 124) {
        put(info, 4, 4); // for pictures
        put(info, embeds ? picture.info_size + palette.size() + rows.size() : 0, 4);
        put(info, embeds ? static_cast<std::uint32_t>(picture.icc_profile.size()) : 0, 4);
        put(info, 0, 4);
    }

    std::string file = "BM";
    const auto pixels_at = static_cast<std::uint32_t>(14 + info.size() + palette.size());
    put(file, pixels_at + static_cast<std::uint32_t>(rows.size() + picture.icc_profile.size()), 4);
    put(file, 0, 4);
    put(file, pixels_at, 4);
    return file + info + palette + rows + (embeds ? picture.icc_profile : std::string());
}

} // namespace quorin::test
