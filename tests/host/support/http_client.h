// A libcurl client for the end-to-end tests. One client keeps one
// connection open across its requests when the server allows it.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace quorin::test {

struct http_response {
    long status = 0;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
    long new_connections = 0; // connections this request had to open
    long local_port = 0;

    std::string header(const std::string& lower_case_name) const;
};

class http_client {
public:
    http_client();
    ~http_client();
    http_client(const http_client&) = delete;
    http_client& operator=(const http_client&) = delete;

    // Sends `method` to `url` exactly as written (no folding of "..");
    // throws std::runtime_error when no answer arrives.
    // `headers` are extra request lines such as "If-None-Match: \"x\"".
    http_response request(const std::string& url, const std::string& method = "GET",
                          const std::vector<std::string>& headers = {});

private:
    void* handle_;
};

} // namespace quorin::test
