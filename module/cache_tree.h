// The two directory levels under the cache root.
#pragma once

#include <string>

namespace quorin {

// Creates root/0, root/0/00 .. root/0/ff, root/1, ... root/f/ff in that
// order (4112 attempts). Failures are ignored: directories that exist keep
// their contents, and a missing root simply makes every attempt fail.
void create_cache_tree(const std::string& cache_root);

} // namespace quorin
