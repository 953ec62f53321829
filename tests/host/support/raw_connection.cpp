#include "support/raw_connection.h"

#include <array>
#include <boost/asio/write.hpp>

namespace quorin::test {

raw_connection::raw_connection(int port) {
    socket_.connect(
        {boost::asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)});
}

void raw_connection::send(const std::string& bytes) {
    boost::asio::write(socket_, boost::asio::buffer(bytes));
}

bool raw_connection::read_some(std::chrono::steady_clock::time_point deadline) {
    std::array<char, 16 * 1024> chunk{};
    bool read = false;
    socket_.async_read_some(boost::asio::buffer(chunk), [&](boost::system::error_code error,
                                                            std::size_t size) {
        received_.append(chunk.data(), size);
        closed_ = error == boost::asio::error::eof || error == boost::asio::error::connection_reset;
        read = !error;
    });
    io_.restart();
    io_.run_until(deadline);
    if (!io_.stopped()) {
        // Past the deadline: the read ends as cancelled.
        socket_.cancel();
        io_.restart();
        io_.run();
    }
    return read;
}

std::string raw_connection::receive_until(const std::string& text,
                                          std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (received_.find(text) == std::string::npos && read_some(deadline)) {}
    return received_;
}

std::string raw_connection::receive_until_closed(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (read_some(deadline)) {}
    return received_;
}

} // namespace quorin::test
