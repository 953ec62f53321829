// Where a cached image lies: root / first digest digit / next two digest
// digits / the key's last path element, the digest being the MD5 of that
// element as UTF-16LE bytes.
#pragma once

#include <string>
#include <string_view>

#include "platform/wide_string.h"

namespace quorin {

// The key's last path element: the text after its last separator. Both a
// backslash and a forward slash separate, so no name can climb out of its
// directory.
wide_string_view cache_name_of_key(wide_string_view key);

// Replaces path with the cache file path of name below the configured cache
// root. Leaves path empty when no digest can be made.
void make_cache_path(wide_string_view name, wide_string& path);

} // namespace quorin
