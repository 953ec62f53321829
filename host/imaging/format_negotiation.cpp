#include "imaging/format_negotiation.h"

#include "imaging/image_codec.h"

namespace quorin::host {

output_format negotiated_format(std::string_view accept_header, output_format otherwise) {
    // Smaller files first: AVIF beats WebP on photographs at equal quality.
    for (const auto& [format, media_type] : {std::pair{output_format::avif, "image/avif"},
                                             std::pair{output_format::webp, "image/webp"}}) {
        if (can_write(format) && accepts(accept_header, media_type)) return format;
    }
    return otherwise;
}

} // namespace quorin::host
