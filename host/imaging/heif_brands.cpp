#include "imaging/heif_brands.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace quorin::host {
namespace {

std::uint32_t big_endian_32(std::string_view bytes) {
    std::uint32_t value = 0;
    for (const char byte : bytes.substr(0, 4))
        value = value << 8 | static_cast<unsigned char>(byte);
    return value;
}

constexpr std::array<std::string_view, 2> avif_brands{"avif", "avis"};
constexpr std::array<std::string_view, 8> heif_brands{"heic", "heix", "heim", "heis",
                                                      "hevc", "hevx", "mif1", "msf1"};

template <std::size_t count>
bool any_named(const std::array<std::string_view, count>& known,
               const std::array<std::string_view, 16>& brands, std::size_t brand_count) {
    return std::any_of(brands.begin(), brands.begin() + brand_count, [&](std::string_view brand) {
        return std::find(known.begin(), known.end(), brand) != known.end();
    });
}

} // namespace

heif_kind heif_kind_of(std::string_view head) {
    // size, "ftyp", major brand, minor version, compatible brands...
    constexpr std::size_t first_compatible = 16;
    if (head.size() < first_compatible || head.substr(4, 4) != "ftyp") return heif_kind::none;
    const std::uint32_t box_size = big_endian_32(head);
    if (box_size < first_compatible || box_size % 4 != 0) return heif_kind::none;
    const std::size_t end = std::min<std::size_t>(box_size, head.size());

    std::array<std::string_view, 16> brands{};
    std::size_t brand_count = 0;
    brands[brand_count++] = head.substr(8, 4);
    for (std::size_t at = first_compatible; at + 4 <= end && brand_count < brands.size(); at += 4)
        brands[brand_count++] = head.substr(at, 4);

    if (any_named(avif_brands, brands, brand_count)) return heif_kind::avif;
    if (any_named(heif_brands, brands, brand_count)) return heif_kind::heif;
    return heif_kind::none;
}

} // namespace quorin::host
