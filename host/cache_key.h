// The cache key the host gives the module for one conversion.
//
// The module files a converted image under the key's last path element
// alone, so that element must differ for every distinct source and set of
// parameters: it carries the source's base name and the parameters for a
// reader, and a digest of the source's relative path and every parameter
// for uniqueness, e.g. "photo_w320_h240_q85_1a2b3c4d5e6f7081.jpg".
#pragma once

#include <filesystem>
#include <string>

#include "request_parameters.h"

namespace quorin::host {

// The last element of the key, UTF-8.
std::string cache_name(const std::filesystem::path& relative_source,
                       const conversion_parameters& parameters, output_format format);

// The key: the source's relative directory, '/', and the cache name, UTF-16.
std::u16string cache_key(const std::filesystem::path& relative_source,
                         const conversion_parameters& parameters, output_format format);

} // namespace quorin::host
