// The cache key the host gives the module for one conversion.
//
// The module files a converted image under the key's last path element
// alone, so that element must differ for every distinct source and output:
// it carries the source's base name and the output's geometry for a
// reader, and a digest of the source's relative path and all of that for
// uniqueness, e.g. "photo_320x240_q85_1a2b3c4d5e6f7081.jpg".
//
// Requests that give the same bytes share one name: with the source's
// size known, the name holds the plan (the part kept and the size made)
// rather than the box asked for, so that a box larger than the source, a
// fit mode and a gravity that change nothing, all name the same file; the
// quality appears only for the formats it affects.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "variant/request_parameters.h"
#include "variant/resize_box.h"

namespace quorin::host {

// The last element of the key, UTF-8. Without a plan (a source whose size
// is known only once decoded), the box and fit mode asked for stand in.
std::string cache_name(std::string_view relative_source, const conversion_parameters& parameters,
                       const std::optional<resize_plan>& plan, output_format format);

// The key: the source's relative directory, '/', and the cache name, UTF-16.
// The name is remembered with its format (cache_name_formats.h).
std::u16string cache_key(std::string_view relative_source, const conversion_parameters& parameters,
                         const std::optional<resize_plan>& plan, output_format format);

// A strong entity tag, quoted: a digest of the cache key and the source's
// time, which between them fix every byte of the answer.
std::string entity_tag(std::u16string_view cache_key, std::uint64_t source_time);

} // namespace quorin::host
