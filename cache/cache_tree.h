// The shape of the cache tree, and every name in it.
//
// Below the configured root lie 16 first-level directories named by one
// lower-case hex digit ("0" to "f"), each holding 256 leaf directories named
// by two ("00" to "ff"). Cache files lie in the leaves: "root/3/7f/photo.png".
// A file's leaf is given by the first twelve bits of the MD5 of its name as
// UTF-16LE bytes. Naming, the sweep and start-up all take the tree from here.
#pragma once

#include <string>
#include <string_view>

#include "platform/wide_string.h"

namespace quorin {

inline constexpr unsigned leaves_per_first_level = 256;
inline constexpr unsigned leaf_count = 16 * leaves_per_first_level;

// The key's last path element: the text after its last separator. Both a
// backslash and a forward slash separate, so no name can climb out of its
// directory.
wide_string_view cache_name_of_key(wide_string_view key);

// Replaces path with the cache file path of name below the configured cache
// root. Leaves path empty when no digest can be made.
void make_cache_path(wide_string_view name, wide_string& path);

// The leaf directory with number `leaf` (0 to leaf_count - 1, in the order
// the sweep lists them) below `root`: leaf 0x37f is "root/3/7f".
std::string leaf_directory(std::string_view root, unsigned leaf);

// Creates every directory of the tree, each first-level directory before its
// leaves: root/0, root/0/00 .. root/0/ff, root/1, ... root/f/ff (4112
// attempts). Failures are ignored: directories that exist keep their
// contents, and a missing root simply makes every attempt fail.
void create_cache_tree(const std::string& root);

} // namespace quorin
