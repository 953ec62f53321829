#include "imaging/heif_brands.h"

#include <gtest/gtest.h>
#include <string>

namespace quorin::host {
namespace {

// An ftyp box: its size, the major brand, minor version 0, the compatible
// brands.
std::string ftyp(const std::string& major, const std::string& compatible) {
    const std::size_t size = 16 + compatible.size();
    std::string box{'\0', '\0', '\0', static_cast<char>(size)};
    return box + "ftyp" + major + std::string(4, '\0') + compatible;
}

TEST(HeifBrands, TheFtypBoxNamesTheFormat) {
    const struct {
        std::string head;
        heif_kind kind;
    } rows[] = {
        {ftyp("avif", "mif1miaf"), heif_kind::avif},
        {ftyp("mif1", "miafavif"), heif_kind::avif}, // AVIF among the compatible brands
        {ftyp("avis", "msf1"), heif_kind::avif},
        {ftyp("heic", "mif1heic"), heif_kind::heif},
        {ftyp("mif1", "heic"), heif_kind::heif},
        {ftyp("msf1", "hevc"), heif_kind::heif},
        {ftyp("isom", "iso2mp41"), heif_kind::none},  // a video
        {ftyp("crx ", "isom"), heif_kind::none},      // a camera's raw file
        {ftyp("mif1", "") + "avif", heif_kind::heif}, // past the box's end
        {ftyp("avif", "").substr(0, 12), heif_kind::none},
        {std::string("\0\0\0\x18moovavif", 12), heif_kind::none},
        {std::string("\0\0\0\x0e"
                     "ftypavif\0\0\0\0",
                     16),
         heif_kind::none}, // a size too small for the box
    };
    for (const auto& [head, kind] : rows) EXPECT_EQ(heif_kind_of(head), kind) << head.substr(4);
}

} // namespace
} // namespace quorin::host
