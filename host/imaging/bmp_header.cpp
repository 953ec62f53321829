#include "imaging/bmp_header.h"

#include <algorithm>
#include <array>

namespace quorin::host {
namespace {

constexpr std::size_t file_header_size = 14;
constexpr std::uint32_t plain_info_size = 40;
constexpr std::array<std::uint32_t, 4> later_info_sizes = {52, 56, 108, 124};

// Where the fields lie in the info header.
constexpr std::size_t bits_per_pixel_at = 14;
constexpr std::size_t compression_at = 16;
constexpr std::size_t masks_at = 40; // red, green, blue, then alpha from V3 on
constexpr std::size_t colour_space_at = 56;
constexpr std::size_t profile_offset_at = 112; // from the info header's start, V5
constexpr std::size_t profile_size_at = 116;

constexpr std::uint32_t bi_rgb = 0;
constexpr std::uint32_t bi_bitfields = 3;
constexpr std::uint32_t embedded_profile = 0x4D424544; // 'MBED'

std::uint32_t little_endian_32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

void put_32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

} // namespace

std::optional<plain_bmp_head> plain_bmp_head_of(std::string_view head) {
    if (head.size() < file_header_size + 4 || head.substr(0, 2) != "BM") return std::nullopt;
    const std::uint32_t info_size = little_endian_32(head, file_header_size);
    if (std::find(later_info_sizes.begin(), later_info_sizes.end(), info_size) ==
        later_info_sizes.end()) {
        return std::nullopt;
    }
    const std::uint32_t pixels_at = little_endian_32(head, 10);
    const std::size_t info_end = file_header_size + info_size;
    if (pixels_at < info_end || pixels_at > head.size()) return std::nullopt;
    const std::string_view info = head.substr(file_header_size, info_size);

    plain_bmp_head plain{std::string(head.substr(0, file_header_size + plain_info_size)),
                         pixels_at};
    put_32(plain.bytes, file_header_size, plain_info_size);
    std::uint32_t compression = little_endian_32(info, compression_at);
    const std::uint32_t bits = little_endian_32(info, bits_per_pixel_at) & 0xFFFF;
    if (compression == bi_bitfields) {
        const std::array<std::uint32_t, 4> masks = {
            little_endian_32(info, masks_at), little_endian_32(info, masks_at + 4),
            little_endian_32(info, masks_at + 8),
            info_size > masks_at + 12 ? little_endian_32(info, masks_at + 12) : 0};
        if (bits == 32 &&
            masks == std::array<std::uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0xFF000000}) {
            compression = bi_rgb;
            put_32(plain.bytes, file_header_size + compression_at, compression);
        } else {
            plain.bytes += info.substr(masks_at, 12);
        }
    }
    // The palette and anything else before the pixels.
    plain.bytes += head.substr(info_end, pixels_at - info_end);
    put_32(plain.bytes, 10, static_cast<std::uint32_t>(plain.bytes.size()));

    if (info_size > profile_size_at &&
        little_endian_32(info, colour_space_at) == embedded_profile) {
        plain.profile_at =
            file_header_size + std::uint64_t{little_endian_32(info, profile_offset_at)};
        plain.profile_size = little_endian_32(info, profile_size_at);
    }
    return plain;
}

} // namespace quorin::host
