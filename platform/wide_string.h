// UTF-16 strings in the contract's code unit: the cache key, the wide cache
// root and every cache file path.
#pragma once

#include <string>
#include <string_view>

#include "trelvane_module.h"

namespace quorin {

using wide_string = std::basic_string<TrelvaneChar>;
using wide_string_view = std::basic_string_view<TrelvaneChar>;

} // namespace quorin
