// One HTTP request and its answer, seen by a module as an ISAPI request
// record.
//
// The record's ServerSupportFunction(HSE_REQ_SEND_RESPONSE_HEADER) writes
// the status line "HTTP/1.1 " + status text, the Date and Connection lines
// the protocol needs and X-Content-Type-Options: nosniff, then the module's
// header block unchanged; WriteClient writes body bytes. The host's caching
// lines follow Date and Connection: those set with set_answer_lines on
// answers below 400, no-store on errors. Each piece goes straight to the
// sink: the connection is the one place that gathers them into sends.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "http/http_request.h"
#include "trelvane_module.h"

namespace quorin::host {

class http_exchange {
public:
    using sink = answer_sink;

    http_exchange(http_request request, sink& out);
    http_exchange(const http_exchange&) = delete;
    http_exchange& operator=(const http_exchange&) = delete;

    const http_request& request() const { return request_; }
    EXTENSION_CONTROL_BLOCK* record() { return &record_; }
    bool is_head() const { return request_.method == "HEAD"; }

    // Sends a status line and a header block the host made itself, such as
    // an error answer; `header_block` ends with the empty line.
    void send_header(std::string_view status_text, std::string_view header_block);
    void write_body(const void* data, std::size_t size);

    // A complete answer with a body (left out for HEAD).
    void send(std::string_view status_text, std::string_view content_type, std::string_view body,
              std::string_view extra_headers = {});

    // Called right after the header went out (the one moment a module tells
    // that it has an answer ready).
    void on_header_sent(std::function<void()> callback) { on_header_sent_ = std::move(callback); }

    // Host header lines for a successful answer; the converter sets them
    // anew when the source changed before its header went out.
    void set_answer_lines(std::string lines) { answer_lines_ = std::move(lines); }

    bool header_sent() const { return status_ != 0; }
    // The Content-Length the answer announced; 0 when none.
    std::uint64_t content_length() const { return content_length_; }
    int status() const { return status_; }
    std::uint64_t body_bytes() const { return body_bytes_; }
    // The status line and header block, as they went to the sink.
    std::uint64_t header_bytes() const { return header_bytes_; }

private:
    static BOOL write_client(HCONN connection, void* buffer, DWORD* bytes, DWORD flags);
    static BOOL server_support(HCONN connection, DWORD request, void* buffer, DWORD* size,
                               DWORD* data_type);
    static BOOL get_server_variable(HCONN connection, char* name, void* buffer, DWORD* size);
    static BOOL read_client(HCONN connection, void* buffer, DWORD* size);

    http_request request_;
    sink& out_;
    EXTENSION_CONTROL_BLOCK record_{};
    int status_ = 0;
    std::uint64_t body_bytes_ = 0;
    std::uint64_t header_bytes_ = 0;
    std::uint64_t content_length_ = 0;
    std::function<void()> on_header_sent_;
    std::string answer_lines_;
};

} // namespace quorin::host
