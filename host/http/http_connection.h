// One client connection: reads requests one after the other (pipelined
// ones in order) with Beast's parser and the checks it leaves to its user
// (request_checks.h), has each answered by the request handler, writes the
// answer back, and keeps the connection while the client wants it and
// the limits allow.
#pragma once

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "http/http_handler.h"
#include "http/http_server.h"

namespace quorin::host {

class http_connection;

// What every connection of one server shares.
struct front_context {
    front_limits limits;
    http_handler* handler = nullptr;
    std::atomic<bool> stopping{false};
    std::atomic<unsigned> connections{0};
};

class http_connection : public std::enable_shared_from_this<http_connection>, private answer_sink {
public:
    using clock = std::chrono::steady_clock;

    http_connection(boost::asio::ip::tcp::socket socket, front_context& context);
    ~http_connection();
    http_connection(const http_connection&) = delete;
    http_connection& operator=(const http_connection&) = delete;

    void start();

    // Called from the watch over all connections, on any thread: true when
    // the connection should be closed now, because its deadline passed or
    // the server stops and it waits for a request.
    bool overdue(clock::time_point now) const;
    // Makes it close itself; an answer being written is cut short at once.
    void close_from_outside();

private:
    void read_request();
    void new_parser();
    void read_more();
    void parse();
    void refuse_unparsed(boost::system::error_code error);
    bool read_later_minor_version_as_1_1();
    void stop_waiting();
    void answer(bool keep_alive);
    void refuse(std::string_view status_text, std::string_view message);
    std::string_view received() const;
    http_request request_as_read() const;
    // The answer's bytes, gathered into sends.
    bool write(const char* data, std::size_t size) override;
    void expect(std::uint64_t bytes) override;
    bool write_now(const char* data, std::size_t size);
    void write_answer(bool keep_alive);
    void write_rest(bool keep_alive, std::size_t from);
    void answer_sent(bool keep_alive, boost::system::error_code error);
    void linger();
    void close();
    void set_deadline(clock::duration after);

    boost::asio::ip::tcp::socket socket_;
    front_context& context_;
    boost::beast::flat_buffer buffer_;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser_;
    // The answer being made: gathered here, and past a size streamed out
    // as it is made; logged once it has left.
    std::unique_ptr<http_handler::answer> made_;
    http_request refused_; // what was read of a request the front refused itself
    int refused_status_ = 0;
    std::size_t refused_head_bytes_ = 0;
    clock::time_point answer_start_;
    std::string answer_;
    std::uint64_t bytes_sent_ = 0; // of this answer, header included
    bool streaming_failed_ = false;
    std::string client_address_;
    bool first_request_ = true;
    bool header_begun_ = false;                // its timeout runs
    std::atomic<bool> awaiting_request_{true}; // closed at once on a stop
    std::atomic<clock::rep> deadline_{0};      // clock ticks; 0: none
    std::mutex descriptor_mutex_;
};

} // namespace quorin::host
