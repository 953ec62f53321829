#include "chain/http_exchange.h"

#include <charconv>

#include "base/text.h"
#include "http/answer_head.h"

namespace quorin::host {
namespace {

http_exchange& exchange_of(HCONN connection) { return *static_cast<http_exchange*>(connection); }

int status_code_of(std::string_view status_text) {
    int code = 0;
    std::from_chars(status_text.data(), status_text.data() + status_text.size(), code);
    return code;
}

std::uint64_t announced_length(std::string_view header_block) {
    static constexpr std::string_view name = "content-length:";
    std::uint64_t length = 0;
    for_each_field(header_block, '\n', [&length](std::string_view line) {
        if (!equal_ignoring_case(line.substr(0, name.size()), name)) return true;
        const std::string_view value = trimmed(line.substr(name.size()));
        std::from_chars(value.data(), value.data() + value.size(), length);
        return false;
    });
    return length;
}

} // namespace

http_exchange::http_exchange(http_request request, sink& out)
    : request_(std::move(request)), out_(out) {
    record_.cbSize = sizeof record_;
    record_.dwVersion = 0x00080000;
    record_.ConnID = this;
    // The record's texts are the request's own, which the modules only read.
    record_.lpszMethod = request_.method.data();
    record_.lpszQueryString = request_.query.data();
    record_.lpszPathInfo = request_.path.data();
    record_.lpszPathTranslated = request_.path.data();
    record_.lpszContentType = const_cast<char*>("");
    record_.GetServerVariable = &get_server_variable;
    record_.WriteClient = &write_client;
    record_.ReadClient = &read_client;
    record_.ServerSupportFunction = &server_support;
}

void http_exchange::send_header(std::string_view status_text, std::string_view header_block) {
    if (header_sent()) return;
    status_ = status_code_of(status_text);
    if (status_ == 0) status_ = 500;
    // Put together in the thread's own buffer: every answer has a head.
    thread_local std::string head;
    head.clear();
    append_answer_head(head, status_text, request_.keep_alive);
    if (status_ >= 400) {
        head.append("Cache-Control: no-store\r\n");
    } else {
        head.append(answer_lines_);
    }
    head.append(header_block);
    content_length_ = announced_length(header_block);
    header_bytes_ = head.size();
    out_.write(head.data(), head.size());
    if (!is_head()) out_.expect(content_length_);
    if (on_header_sent_) on_header_sent_();
}

void http_exchange::write_body(const void* data, std::size_t size) {
    if (!header_sent() || size == 0) return;
    body_bytes_ += size;
    out_.write(static_cast<const char*>(data), size);
}

void http_exchange::send(std::string_view status_text, std::string_view content_type,
                         std::string_view body, std::string_view extra_headers) {
    std::string block;
    block.append("Content-Type: ").append(content_type).append("\r\n");
    block.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n");
    block.append(extra_headers);
    block.append("\r\n");
    send_header(status_text, block);
    if (!is_head()) write_body(body.data(), body.size());
}

BOOL http_exchange::write_client(HCONN connection, void* buffer, DWORD* bytes, DWORD) {
    if (buffer == nullptr || bytes == nullptr) return 0;
    exchange_of(connection).write_body(buffer, *bytes);
    return 1;
}

BOOL http_exchange::server_support(HCONN connection, DWORD request, void* buffer, DWORD*,
                                   DWORD* data_type) {
    if (request != HSE_REQ_SEND_RESPONSE_HEADER || buffer == nullptr) return 0;
    const char* header_block = reinterpret_cast<const char*>(data_type);
    exchange_of(connection)
        .send_header(static_cast<const char*>(buffer),
                     header_block != nullptr ? header_block : "\r\n");
    return 1;
}

BOOL http_exchange::get_server_variable(HCONN, char*, void*, DWORD*) { return 0; }

BOOL http_exchange::read_client(HCONN, void*, DWORD* size) {
    if (size != nullptr) *size = 0;
    return 1;
}

} // namespace quorin::host
