// Decoding, fitting and encoding images with the image library.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "imaging/conversion_status.h"
#include "imaging/memory_stream.h"
#include "trelvane_module.h"
#include "variant/output_format.h"
#include "variant/request_parameters.h"
#include "variant/resize_box.h"

struct FIBITMAP;

namespace quorin::host::os {
class read_only_file;
}

namespace quorin::host {

// The library's format code for a file it can read, found from the
// content; nullopt otherwise.
std::optional<int> readable_format(const std::filesystem::path& file);
std::optional<int> readable_format(const os::read_only_file& file);

// What a request without `format=` gets: the source's own format when it
// is one a client can ask for, JPEG for HEIF, PNG otherwise.
output_format default_output_format(int source_format);

// Whether the library can write the format here (WebP depends on how the
// library was built, AVIF on libheif's encoders).
bool can_write(output_format format);

// The library's format code.
int library_format(output_format format);

// What a source's header tells before any pixel is decoded.
struct source_header {
    image_size shown;        // turned by its orientation
    unsigned bits_per_pixel; // as the library decodes it
    friend bool operator==(const source_header&, const source_header&) = default;
};

// `source`'s header, read alone; nullopt for a format whose header the
// library cannot read on its own, or an unreadable file.
std::optional<source_header> read_header(const os::read_only_file& source, int source_format);

// Decodes the open file `source` (read at offsets, so that one open file
// serves any number of decodes), brings it to 8-bit sRGB turned as its
// camera held it, cuts and scales it as the fit mode plans for its size
// and encodes it into the stream `out`; the plan followed goes to
// `executed` when given. A multi-frame GIF asked for as GIF or WebP stays
// animated. A JPEG source is decoded straight at a reduced scale when the
// plan allows it. A source of more than `max_source_pixels` is
// `too_large`; where the library can read a format's header alone, that
// is found before any pixel is decoded, as is a crop that does not lie
// within the source (`crop_outside`).
conversion_status convert_image(const os::read_only_file& source, int source_format,
                                const conversion_parameters& parameters, output_format format,
                                FIMEMORY* out, resize_plan* executed = nullptr);

// Encodes a copy of `image` as `format` into a file, as the converter
// would encode it. False when it cannot.
bool write_image_file(FIBITMAP* image, output_format format, int quality,
                      const std::filesystem::path& file);

} // namespace quorin::host
