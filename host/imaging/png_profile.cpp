#include "imaging/png_profile.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <zlib.h>

#include "os/read_only_file.h"

namespace quorin::host {
namespace {

constexpr std::array<unsigned char, 8> png_signature = {0x89, 'P',  'N',  'G',
                                                        '\r', '\n', 0x1A, '\n'};
// Profiles are tens of kilobytes; more is a damaged or hostile file.
constexpr std::size_t largest_profile = 4 << 20;

std::uint32_t big_endian(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | bytes[3];
}

// The zlib stream `compressed`, inflated; empty when damaged or too large.
std::string inflated(const std::string& compressed) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return {};
    std::string result;
    std::array<char, 16384> buffer{};
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    int status = Z_OK;
    while (status == Z_OK && result.size() <= largest_profile) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
        stream.avail_out = static_cast<uInt>(buffer.size());
        status = inflate(&stream, Z_NO_FLUSH);
        result.append(buffer.data(), buffer.size() - stream.avail_out);
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END && result.size() <= largest_profile ? result : std::string{};
}

} // namespace

std::string png_icc_profile(const os::read_only_file& file) {
    std::array<unsigned char, 8> signature{};
    if (file.read_at(0, signature.data(), signature.size()) != signature.size() ||
        signature != png_signature) {
        return {};
    }
    // Chunks: length, type, data, checksum. The profile comes before the
    // pixels, if at all.
    std::uint64_t at = signature.size();
    std::array<unsigned char, 8> header{};
    while (file.read_at(at, header.data(), header.size()) == header.size()) {
        const std::uint32_t length = big_endian(header.data());
        if (std::memcmp(&header[4], "IDAT", 4) == 0) return {};
        if (std::memcmp(&header[4], "iCCP", 4) != 0) {
            at += std::uint64_t{12} + length;
            continue;
        }
        if (length > largest_profile) return {};
        std::string data(length, '\0');
        if (file.read_at(at + 8, data.data(), length) != length) return {};
        // A name of 1 to 79 bytes, its end, the compression method (0).
        const auto name_end = data.find('\0');
        if (name_end == std::string::npos || name_end + 2 > data.size() ||
            data[name_end + 1] != 0) {
            return {};
        }
        return inflated(data.substr(name_end + 2));
    }
    return {};
}

} // namespace quorin::host
