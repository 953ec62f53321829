// The "200 OK" answer's header block and how it reaches the client.
#pragma once

#include <cstdint>
#include <string>

#include "trelvane_module.h"

namespace quorin {

// Content-Type, Content-Length, Last-Modified when a time is given and has
// an HTTP date, then the empty line; every line ends with CR LF.
std::string build_header_block(const char* mime_type, std::uint32_t content_length,
                               const FILETIME* last_modified);

// Sends the status "200 OK" and the header block through the request record.
void send_header_block(EXTENSION_CONTROL_BLOCK& request, const std::string& header_block);

} // namespace quorin
