// What the front checks in a request beyond Beast's own reading of it: the
// framing of its body, its Host, whether it waits for 100 Continue, and a
// request line Beast refused for its version.
#pragma once

#include <boost/beast/http/message.hpp>
#include <optional>
#include <string_view>

namespace quorin::host {

// An answer the front gives itself, after which it closes the connection.
struct front_refusal {
    std::string_view status_text;
    std::string_view message;
};

// A header Beast has read whole: nullopt when the request may be answered.
// Refused are a Transfer-Encoding whose codings are not exactly chunked
// (so that no body is ever read as the next request), any on HTTP/1.0, a
// missing (HTTP/1.1), repeated or malformed Host.
std::optional<front_refusal>
check_request_header(const boost::beast::http::request_header<>& header);

// An HTTP/1.1 request that sends its body only after a 100 Continue.
bool expects_continue(const boost::beast::http::request_header<>& header);

// The request line at the start of what was received, cut at its blanks
// and at the line's end, as far as it came.
struct request_line_parts {
    std::string_view method;
    std::string_view target;
    std::string_view version;
};
request_line_parts split_request_line(std::string_view received);

// The numbers of "HTTP/d.d"; nullopt for anything else.
struct http_version {
    int major = 0;
    int minor = 0;
};
std::optional<http_version> version_numbers(std::string_view version);

} // namespace quorin::host
