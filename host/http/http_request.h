// One request as the front read it, and the way its answer goes back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorin::host {

struct http_request {
    std::string method;
    std::string path;  // decoded, as the client sent it (".." kept)
    std::string query; // raw, without '?'
    bool keep_alive = true;
    // Filled by the front for revalidation and the access log; empty when
    // the client sent none.
    std::string version; // "HTTP/1.1"
    std::string client_address;
    std::string if_match;
    std::string if_unmodified_since;
    std::string if_none_match;
    std::string if_modified_since;
    std::string referer;
    std::string user_agent;
    std::string accept; // the media types the client takes, for format=auto
};

// Where an answer's bytes go, in the order they are written.
class answer_sink {
public:
    // Writes bytes to the client; false once the connection failed.
    virtual bool write(const char* data, std::size_t size) = 0;
    // About `bytes` more are on their way (a body whose length the header
    // announced), so that room for them is made once.
    virtual void expect(std::uint64_t bytes) = 0;

protected:
    ~answer_sink() = default;
};

} // namespace quorin::host
