#include "cache/response_header.h"

#include "cache/http_date.h"

namespace quorin {

std::string build_header_block(const char* mime_type, std::uint32_t content_length,
                               const FILETIME* last_modified) {
    std::string block;
    block.reserve(128);
    block.append("Content-Type: ").append(mime_type).append("\r\n");
    block.append("Content-Length: ").append(std::to_string(content_length)).append("\r\n");
    char date[http_date_length + 1];
    if (last_modified != nullptr && format_http_date(last_modified, date)) {
        block.append("Last-Modified: ").append(date).append("\r\n");
    }
    block.append("\r\n");
    return block;
}

void send_header_block(EXTENSION_CONTROL_BLOCK& request, const std::string& header_block) {
    static char status[] = "200 OK";
    request.ServerSupportFunction(
        request.ConnID, HSE_REQ_SEND_RESPONSE_HEADER, status, nullptr,
        reinterpret_cast<DWORD*>(const_cast<char*>(header_block.c_str())));
}

} // namespace quorin
