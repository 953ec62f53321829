// The page at "/": every image under the images directory as a thumbnail
// served through the cache, linked to the full image.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quorin::host {

inline constexpr int thumbnail_box = 160;
inline constexpr std::size_t gallery_limit = 1000;

class source_root;
class url_signer;

// Relative paths of the files below `root` that a request would be served
// from (see find_source) and whose content the image library can read,
// sorted, at most `limit`.
std::vector<std::filesystem::path> gallery_entries(const source_root& root, std::size_t limit);

// With a signer, the thumbnail URLs carry their signatures.
std::string gallery_page(const std::vector<std::filesystem::path>& entries,
                         const url_signer* signer = nullptr);

std::string html_escape(std::string_view text);

} // namespace quorin::host
