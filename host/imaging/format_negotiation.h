// What `format=auto` answers: the smallest format the client shows.
#pragma once

#include <string_view>

#include "variant/output_format.h"

namespace quorin::host {

// AVIF for a client whose Accept header names image/avif, otherwise WebP
// for one that names image/webp, each only where it can be written here;
// otherwise `otherwise`.
output_format negotiated_format(std::string_view accept_header, output_format otherwise);

} // namespace quorin::host
