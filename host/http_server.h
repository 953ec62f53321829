// The HTTP side: civetweb listening, keeping connections alive, and
// handing every request to the request handler.
#pragma once

#include <string>

struct mg_context;

namespace quorin::host {

class request_handler;

class http_server {
public:
    // Starts listening on `listen` ("127.0.0.1:8080"; port 0 picks a free
    // one) with `threads` workers. Throws std::runtime_error when it cannot.
    http_server(const std::string& listen, unsigned threads, request_handler& handler);
    // Stops accepting, lets the requests in progress finish, then returns.
    ~http_server();
    http_server(const http_server&) = delete;
    http_server& operator=(const http_server&) = delete;

    // The port actually listened on.
    int port() const;

private:
    mg_context* context_ = nullptr;
};

// "127.0.0.1:8080" or "8080" (then on 127.0.0.1 only); empty when the text
// is not such an address.
std::string listening_ports_option(const std::string& listen);

} // namespace quorin::host
