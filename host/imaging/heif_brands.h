// Which image format a file of the HEIF container (ISO base media file)
// holds, from the brands its leading `ftyp` box names.
#pragma once

#include <cstddef>
#include <string_view>

namespace quorin::host {

enum class heif_kind {
    none, // not a HEIF container, or one of no image brand known here
    avif, // AV1 pictures
    heif, // HEVC pictures, or the container's generic image brands
};

// The bytes a check needs from the file's start: the box header, the
// major brand, the minor version and a generous list of compatible brands.
inline constexpr std::size_t heif_brands_head_size = 64;

// The kind the file's first bytes (`head`, up to heif_brands_head_size of
// them) name. AVIF wins when any brand names it, as such files often
// carry the generic image brands too.
heif_kind heif_kind_of(std::string_view head);

} // namespace quorin::host
