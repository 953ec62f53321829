#include "imaging/tiff_orientation.h"

#include <array>
#include <cstdint>
#include <vector>

#include "os/read_only_file.h"

namespace quorin::host {
namespace {

constexpr unsigned orientation_tag = 274;
constexpr unsigned short_type = 3;
constexpr std::size_t entry_size = 12;

// A number of `size` bytes in the file's byte order.
std::uint32_t number(const unsigned char* bytes, int size, bool little_endian) {
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i)
        value |= std::uint32_t{bytes[little_endian ? i : size - 1 - i]} << (8 * i);
    return value;
}

} // namespace

int tiff_orientation(const os::read_only_file& file) {
    std::array<unsigned char, 8> header{};
    if (file.read_at(0, header.data(), header.size()) != header.size()) return 1;
    const bool little_endian = header[0] == 'I' && header[1] == 'I';
    if (!little_endian && !(header[0] == 'M' && header[1] == 'M')) return 1;
    if (number(&header[2], 2, little_endian) != 42) return 1;
    const std::uint64_t directory = number(&header[4], 4, little_endian);

    std::array<unsigned char, 2> count{};
    if (file.read_at(directory, count.data(), count.size()) != count.size()) return 1;
    std::vector<unsigned char> entries(number(count.data(), 2, little_endian) * entry_size);
    const std::size_t read = file.read_at(directory + 2, entries.data(), entries.size());
    for (std::size_t at = 0; at + entry_size <= read; at += entry_size) {
        const unsigned char* entry = &entries[at];
        if (number(entry, 2, little_endian) != orientation_tag) continue;
        if (number(entry + 2, 2, little_endian) != short_type) return 1;
        const auto orientation = static_cast<int>(number(entry + 8, 2, little_endian));
        return orientation >= 1 && orientation <= 8 ? orientation : 1;
    }
    return 1;
}

} // namespace quorin::host
