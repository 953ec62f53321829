// The HTTP side: connections multiplexed on a few event-loop threads,
// each complete request handed to the request handler on the thread that
// read it, answers written back without blocking.
#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace quorin::host {

class http_handler;

// What one client may cost the server.
struct front_limits {
    unsigned loop_threads = 1;
    unsigned most_threads = 64; // stand-ins for threads waiting on conversions included
    std::chrono::seconds header_timeout{10};     // to receive a whole request header
    std::chrono::seconds keep_alive_timeout{15}; // idle between requests
    std::chrono::seconds send_timeout{60};       // for an answer to leave
    std::size_t max_header_bytes = 16 * 1024;    // larger: 431
    unsigned max_connections = 10'000;           // more are closed at once
};

class http_server {
public:
    // Starts listening on `listen` ("127.0.0.1:8080"; port 0 picks a free
    // one). Throws std::runtime_error when it cannot.
    http_server(const std::string& listen, const front_limits& limits, http_handler& handler);
    // Stops as stop() does, waiting at most a few seconds.
    ~http_server();
    http_server(const http_server&) = delete;
    http_server& operator=(const http_server&) = delete;

    // The port actually listened on.
    int port() const;

    // Stops accepting and closes the connections that wait for a request;
    // the answers in progress go on.
    void stop_accepting();
    // Connections still open.
    unsigned open_connections() const;

    // Stops accepting, lets the answers in progress finish for at most
    // `grace`, then cuts off the connections left (a write in progress
    // fails at once) and stops the loops once their handlers have left.
    void stop(std::chrono::milliseconds grace);

    class state;

private:
    std::unique_ptr<state> state_;
};

// "127.0.0.1:8080" or "8080" (then on 127.0.0.1 only); empty when the text
// is not such an address.
std::string listening_ports_option(const std::string& listen);

} // namespace quorin::host
