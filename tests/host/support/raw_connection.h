// A client connection that sends exactly the bytes it is given, for the
// front's limits: half-sent headers, pipelined requests, oversized lines.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <string>

namespace quorin::test {

class raw_connection {
public:
    // Connects to 127.0.0.1:`port`; throws when it cannot.
    explicit raw_connection(int port);

    void send(const std::string& bytes);
    // Everything received so far and until the server closes the
    // connection, at most `timeout`; closed() tells which ended it.
    std::string receive_until_closed(std::chrono::milliseconds timeout);
    // The same until `text` has been received.
    std::string receive_until(const std::string& text, std::chrono::milliseconds timeout);
    bool closed() const { return closed_; }

private:
    // One read, waiting at most until `deadline`; false when nothing came.
    bool read_some(std::chrono::steady_clock::time_point deadline);

    boost::asio::io_context io_;
    boost::asio::ip::tcp::socket socket_{io_};
    std::string received_;
    bool closed_ = false;
};

} // namespace quorin::test
