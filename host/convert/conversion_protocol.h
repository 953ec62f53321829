// What the server and a conversion worker say to each other over their
// socket. Both are the same program, so the messages are these structures
// as they lie in memory, of a fixed size each.
#pragma once

#include <cstdint>
#include <type_traits>

#include "imaging/image_codec.h"
#include "variant/output_format.h"
#include "variant/request_parameters.h"
#include "variant/resize_box.h"

namespace quorin::host {

// Sent once a worker is set up and confined, before its first request.
struct worker_ready {
    char confined = 1;
};

// One conversion; the source and an empty memory file for the encoded
// image ride along as descriptors, in that order.
struct conversion_request {
    int source_format = -1;
    conversion_parameters parameters;
    output_format format = output_format::png;
};
inline constexpr std::size_t request_descriptors = 2;

// The answer: the image is the memory file's first `size` bytes when the
// status is `converted`.
struct conversion_reply {
    conversion_status status = conversion_status::failed;
    std::uint64_t size = 0;
    resize_plan executed{};
};

static_assert(std::is_trivially_copyable_v<worker_ready>);
static_assert(std::is_trivially_copyable_v<conversion_request>);
static_assert(std::is_trivially_copyable_v<conversion_reply>);

} // namespace quorin::host
