// Ownership of libheif's objects.
#pragma once

#include <libheif/heif.h>
#include <memory>

namespace quorin::host {

template <auto release>
struct heif_releaser {
    template <typename T>
    void operator()(T* object) const {
        release(object);
    }
};

using heif_context_ptr = std::unique_ptr<heif_context, heif_releaser<&heif_context_free>>;
using heif_handle_ptr =
    std::unique_ptr<heif_image_handle, heif_releaser<&heif_image_handle_release>>;
using heif_image_ptr = std::unique_ptr<heif_image, heif_releaser<&heif_image_release>>;
using heif_encoder_ptr = std::unique_ptr<heif_encoder, heif_releaser<&heif_encoder_release>>;
using heif_encoding_options_ptr =
    std::unique_ptr<heif_encoding_options, heif_releaser<&heif_encoding_options_free>>;

} // namespace quorin::host
