#include "http/request_checks.h"

#include <boost/beast/core/string.hpp>

#include "base/text.h"

namespace quorin::host {
namespace {

namespace http = boost::beast::http;

std::string_view view(boost::beast::string_view text) { return {text.data(), text.size()}; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_hex_digit(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// unreserved and sub-delims: the characters of a registered name.
bool is_name_char(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           std::string_view("-._~!$&'()*+,;=").find(c) != std::string_view::npos;
}

// uri-host [":" port]: an IP literal in brackets, or a registered name
// (percent-escapes allowed) or IPv4 address, then digits after a colon.
bool is_valid_host(std::string_view host) {
    std::string_view port;
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        if (close == std::string_view::npos || close == 1) return false;
        for (const char c : host.substr(1, close - 1)) {
            if (!is_name_char(c) && c != ':') return false;
        }
        port = host.substr(close + 1);
    } else {
        const auto colon = host.find(':');
        const std::string_view name = host.substr(0, colon);
        for (std::size_t i = 0; i < name.size(); ++i) {
            if (name[i] == '%') {
                if (i + 2 >= name.size() || !is_hex_digit(name[i + 1]) ||
                    !is_hex_digit(name[i + 2]))
                    return false;
                i += 2;
            } else if (!is_name_char(name[i])) {
                return false;
            }
        }
        port = colon == std::string_view::npos ? std::string_view() : host.substr(colon);
    }
    if (port.empty()) return true;
    if (port.front() != ':') return false;
    for (const char c : port.substr(1)) {
        if (!is_digit(c)) return false;
    }
    return true;
}

// A body is read only when its end is certain: otherwise what follows it
// could be taken for the next request.
std::optional<front_refusal> check_framing(const http::request_header<>& header) {
    const auto [first, end] = header.equal_range(http::field::transfer_encoding);
    if (first == end) return std::nullopt;
    if (header.version() < 11) {
        return front_refusal{"400 Bad Request", "an HTTP/1.0 request cannot be chunked"};
    }
    if (header.count(http::field::content_length) != 0) {
        return front_refusal{"400 Bad Request",
                             "a request has Content-Length or Transfer-Encoding, not both"};
    }
    std::size_t codings = 0;
    std::string_view last;
    for (auto line = first; line != end; ++line) {
        std::string_view list = view(line->value());
        while (!list.empty()) {
            const auto comma = list.find(',');
            const std::string_view coding = trimmed(list.substr(0, comma));
            list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
            if (coding.empty()) continue;
            ++codings;
            last = coding;
        }
    }
    // Codings are case-insensitive: "Chunked" is chunked.
    if (!equal_ignoring_case(last, "chunked")) {
        return front_refusal{"400 Bad Request", "a request body must end with the chunked coding"};
    }
    if (codings > 1) {
        return front_refusal{"501 Not Implemented", "no transfer coding but chunked is read here"};
    }
    return std::nullopt;
}

std::optional<front_refusal> check_host(const http::request_header<>& header) {
    const auto hosts = header.count(http::field::host);
    if (hosts > 1) return front_refusal{"400 Bad Request", "a request names one Host"};
    if (hosts == 0) {
        if (header.version() < 11) return std::nullopt;
        return front_refusal{"400 Bad Request", "an HTTP/1.1 request names its Host"};
    }
    if (!is_valid_host(view(header[http::field::host]))) {
        return front_refusal{"400 Bad Request", "the Host is not a host name"};
    }
    return std::nullopt;
}

} // namespace

std::optional<front_refusal> check_request_header(const http::request_header<>& header) {
    if (auto refusal = check_framing(header)) return refusal;
    return check_host(header);
}

bool expects_continue(const http::request_header<>& header) {
    const auto expect = header.find(http::field::expect);
    return header.version() >= 11 && expect != header.end() &&
           equal_ignoring_case(trimmed(view(expect->value())), "100-continue");
}

request_line_parts split_request_line(std::string_view received) {
    std::string_view line = received.substr(0, received.find_first_of("\r\n"));
    const auto next_part = [&line] {
        const auto blank = line.find(' ');
        const std::string_view part = line.substr(0, blank);
        line = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
        return part;
    };
    request_line_parts parts;
    parts.method = next_part();
    parts.target = next_part();
    parts.version = line;
    return parts;
}

std::optional<http_version> version_numbers(std::string_view version) {
    if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || !is_digit(version[5]) ||
        version[6] != '.' || !is_digit(version[7]))
        return std::nullopt;
    return http_version{version[5] - '0', version[7] - '0'};
}

} // namespace quorin::host
