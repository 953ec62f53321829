#include "http/http_connection.h"

#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/read_size.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <charconv>
#include <iterator>

#include "base/loop_threads.h"
#include "base/url_coding.h"
#include "http/answer_head.h"
#include "http/request_checks.h"

namespace quorin::host {
namespace {

namespace http = boost::beast::http;

// Requests are for images: a body is read only to keep the connection in
// step, and a large one is refused.
constexpr std::size_t max_body_bytes = 64 * 1024;
// An answer up to this size is gathered and leaves in one send; a larger
// one is written as it is made.
constexpr std::size_t gathered_answer_limit = 1024 * 1024;
// A large answer leaves in pieces of this size, each within the send
// timeout.
constexpr std::size_t streamed_piece = 64 * 1024;
// How long a closing connection reads on, so that its answer is not lost.
constexpr auto linger_time = std::chrono::seconds(2);
// At most this much is read from the socket at once.
constexpr std::size_t read_piece = 64 * 1024;
// A request line that could not be read is logged up to this length.
constexpr std::size_t logged_line_limit = 1024;

// The fields a handler reads, in one pass over the header (a lookup of
// each would search it seven times for every request); the first of a
// repeated field counts.
void copy_read_fields(const http::request<http::string_body>& message, http_request& request) {
    const std::pair<http::field, std::string*> read[] = {
        {http::field::if_match, &request.if_match},
        {http::field::if_unmodified_since, &request.if_unmodified_since},
        {http::field::if_none_match, &request.if_none_match},
        {http::field::if_modified_since, &request.if_modified_since},
        {http::field::referer, &request.referer},
        {http::field::user_agent, &request.user_agent},
        {http::field::accept, &request.accept},
    };
    unsigned copied = 0; // one bit for each of `read`
    for (const auto& field : message) {
        for (unsigned i = 0; i < std::size(read); ++i) {
            if (field.name() != read[i].first || (copied & (1U << i)) != 0) continue;
            read[i].second->assign(field.value().data(), field.value().size());
            copied |= 1U << i;
        }
    }
}

// The path and the query of an origin-form or absolute-form target; the
// path percent-decoded ("+" stays), empty when it cannot be.
std::pair<std::string, std::string> split_target(std::string_view target) {
    for (std::string_view scheme : {"http://", "https://"}) {
        if (target.substr(0, scheme.size()) == scheme) {
            const auto path_start = target.find('/', scheme.size());
            target = path_start == std::string_view::npos ? "/" : target.substr(path_start);
        }
    }
    const auto question = target.find('?');
    const std::string_view raw_path = target.substr(0, question);
    std::string query = question == std::string_view::npos
                            ? std::string()
                            : std::string(target.substr(question + 1));
    auto path = percent_decode(raw_path, plus_sign::kept);
    if (!path || raw_path.empty() || raw_path.front() != '/' ||
        path->find('\0') != std::string::npos) {
        return {};
    }
    return {std::move(*path), std::move(query)};
}

// Empty lines before a request line are ignored: some clients send a
// line end after a body.
std::size_t blank_line_bytes(std::string_view received) {
    std::size_t size = 0;
    for (;;) {
        if (received.substr(size, 2) == "\r\n") {
            size += 2;
        } else if (received.substr(size, 1) == "\n") {
            size += 1;
        } else {
            return size;
        }
    }
}

} // namespace

http_connection::http_connection(boost::asio::ip::tcp::socket socket, front_context& context)
    : socket_(std::move(socket)), context_(context) {
    boost::system::error_code error;
    const auto remote = socket_.remote_endpoint(error);
    if (!error) client_address_ = remote.address().to_string();
    socket_.set_option(boost::asio::ip::tcp::no_delay(true), error);
    // Writes are tried at once and waited for only when they would block.
    socket_.non_blocking(true, error);
    context_.connections.fetch_add(1, std::memory_order_relaxed);
}

http_connection::~http_connection() {
    context_.connections.fetch_sub(1, std::memory_order_relaxed);
}

void http_connection::start() {
    // Accepted on another loop's thread: the first read starts on its own.
    boost::asio::post(socket_.get_executor(),
                      [self = shared_from_this()] { self->read_request(); });
}

void http_connection::set_deadline(clock::duration after) {
    deadline_.store(
        after == clock::duration::zero() ? 0 : (clock::now() + after).time_since_epoch().count(),
        std::memory_order_relaxed);
}

bool http_connection::overdue(clock::time_point now) const {
    const auto deadline = deadline_.load(std::memory_order_relaxed);
    if (deadline != 0 && now.time_since_epoch().count() > deadline) return true;
    return context_.stopping.load(std::memory_order_relaxed) &&
           awaiting_request_.load(std::memory_order_relaxed);
}

void http_connection::close_from_outside() {
    // Called on the watch's thread, perhaps while a handler of this
    // connection runs on another: shutting the socket down touches the
    // descriptor alone, and makes the pending read or write (or a blocked
    // large write) fail, so that the connection closes itself.
    std::lock_guard lock(descriptor_mutex_);
    boost::system::error_code ignored;
    socket_.shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
}

void http_connection::close() {
    // Under the lock, so that the watch never shuts down a descriptor
    // number already handed to a new connection.
    std::lock_guard lock(descriptor_mutex_);
    boost::system::error_code ignored;
    socket_.close(ignored);
}

void http_connection::read_request() {
    if (context_.stopping.load(std::memory_order_relaxed)) return close();
    awaiting_request_.store(true, std::memory_order_relaxed);
    // A new client has the header timeout from its connection on; a kept
    // one may stay idle for the keep-alive timeout, then has the header
    // timeout from the first byte of its next request.
    header_begun_ = first_request_;
    set_deadline(first_request_ ? context_.limits.header_timeout
                                : context_.limits.keep_alive_timeout);
    first_request_ = false;
    new_parser();
    // On the next pass through the loop: a long pipeline never deepens the
    // stack, and a kept client that asks again after its answer has then
    // more often asked, where a read that finds nothing costs a system call.
    boost::asio::post(socket_.get_executor(), [self = shared_from_this()] { self->parse(); });
}

void http_connection::new_parser() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(context_.limits.max_header_bytes));
    parser_->body_limit(max_body_bytes);
}

void http_connection::read_more() {
    const auto room = buffer_.prepare(boost::beast::read_size(buffer_, read_piece));
    socket_.async_read_some(
        room, [self = shared_from_this()](boost::system::error_code error, std::size_t size) {
            self->buffer_.commit(size);
            // A client that went away, or a connection closed here, needs no
            // answer.
            if (error) return self->close();
            self->parse();
        });
}

std::string_view http_connection::received() const {
    const auto bytes = buffer_.data();
    return {static_cast<const char*>(bytes.data()), bytes.size()};
}

void http_connection::parse() {
    for (;;) {
        if (!parser_->got_some()) {
            buffer_.consume(blank_line_bytes(received()));
            if (buffer_.size() > 0 && !header_begun_) {
                header_begun_ = true;
                set_deadline(context_.limits.header_timeout);
            }
            if (received() == "\r") return read_more(); // a line end begun
        }
        if (buffer_.size() == 0) return read_more();
        const bool header_done = parser_->is_header_done();
        boost::system::error_code error;
        buffer_.consume(parser_->put(buffer_.data(), error));
        if (error == http::error::need_more) return read_more();
        if (error == http::error::bad_version && read_later_minor_version_as_1_1()) continue;
        if (error) return refuse_unparsed(error);
        if (!header_done && parser_->is_header_done()) {
            if (const auto refusal = check_request_header(parser_->get())) {
                return refuse(refusal->status_text, refusal->message);
            }
            // Image requests need no body: the answer goes at once, and the
            // connection closes, as the client may or may not send the body
            // after it.
            if (!parser_->is_done() && expects_continue(parser_->get())) return answer(false);
        }
        if (parser_->is_done()) return answer(true);
    }
}

bool http_connection::read_later_minor_version_as_1_1() {
    // Beast reads 1.0 and 1.1 only, and refuses the request line whole,
    // so it is still in the buffer.
    const auto line = split_request_line(received());
    const auto version = version_numbers(line.version);
    if (!version || version->major != 1 || version->minor <= 1) return false;
    const auto minor_at = static_cast<std::size_t>(line.version.data() - received().data()) + 7;
    static_cast<char*>(buffer_.data().data())[minor_at] = '1';
    new_parser();
    return true;
}

void http_connection::refuse_unparsed(boost::system::error_code error) {
    if (error == http::error::header_limit) {
        // Beast keeps the request line's parts once it has read it whole.
        if (parser_->get().target().empty()) {
            return refuse("414 URI Too Long", "the request line is too long");
        }
        return refuse("431 Request Header Fields Too Large", "the request header is too large");
    }
    if (error == http::error::body_limit) {
        return refuse("413 Content Too Large", "image requests carry no body");
    }
    if (error == http::error::bad_version) {
        const auto version = version_numbers(split_request_line(received()).version);
        if (version && version->major != 1) {
            return refuse("505 HTTP Version Not Supported", "HTTP/1.1 is served here");
        }
    }
    refuse("400 Bad Request", "the request could not be read");
}

void http_connection::stop_waiting() {
    awaiting_request_.store(false, std::memory_order_relaxed);
    set_deadline(clock::duration::zero());
}

void http_connection::answer(bool keep_alive) {
    stop_waiting();
    const auto& message = parser_->get();
    http_request request;
    request.method = std::string(message.method_string());
    const auto target = message.target();
    auto [path, query] = split_target(std::string_view(target.data(), target.size()));
    request.version = message.version() == 10 ? "HTTP/1.0" : "HTTP/1.1";
    if (path.empty()) return refuse("400 Bad Request", "the request target is not a path");
    request.path = std::move(path);
    request.query = std::move(query);
    request.keep_alive =
        keep_alive && message.keep_alive() && !context_.stopping.load(std::memory_order_relaxed);
    request.client_address = client_address_;
    copy_read_fields(message, request);

    const bool keep = request.keep_alive;
    made_ = context_.handler->respond(std::move(request), *this);
    write_answer(keep);
}

http_request http_connection::request_as_read() const {
    http_request request;
    const auto& message = parser_->get();
    if (!message.target().empty()) {
        request.method = std::string(message.method_string());
        request.path = std::string(message.target());
        request.version = message.version() == 10 ? "HTTP/1.0" : "HTTP/1.1";
    } else {
        const auto line = split_request_line(received().substr(0, logged_line_limit));
        request.method = line.method;
        request.path = line.target;
        request.version = line.version;
    }
    return request;
}

void http_connection::refuse(std::string_view status_text, std::string_view message) {
    stop_waiting();
    // Answered here, as no handler can make sense of the request; logged
    // with what was read of its request line.
    answer_start_ = clock::now();
    refused_ = request_as_read();
    refused_.keep_alive = false;
    refused_.client_address = client_address_;
    refused_status_ = 0;
    std::from_chars(status_text.data(), status_text.data() + status_text.size(), refused_status_);
    answer_.clear();
    append_answer_head(answer_, status_text, false);
    answer_.append("Cache-Control: no-store\r\nContent-Type: text/plain; charset=utf-8\r\n");
    answer_.append("Content-Length: ")
        .append(std::to_string(message.size() + 1))
        .append("\r\n\r\n");
    refused_head_bytes_ = answer_.size();
    answer_.append(message).append("\n");
    write_answer(false);
}

bool http_connection::write(const char* data, std::size_t size) {
    if (streaming_failed_) return false;
    if (answer_.size() + size <= gathered_answer_limit) {
        answer_.append(data, size);
        return true;
    }
    streaming_failed_ = !write_now(answer_.data(), answer_.size()) || !write_now(data, size);
    answer_.clear();
    return !streaming_failed_;
}

void http_connection::expect(std::uint64_t bytes) {
    // A large body would otherwise grow the buffer piece by piece, copying
    // what it holds each time.
    if (answer_.size() + bytes <= gathered_answer_limit)
        answer_.reserve(answer_.size() + static_cast<std::size_t>(bytes));
}

bool http_connection::write_now(const char* data, std::size_t size) {
    // Only a large answer gets here; the thread waits for a slow client
    // and the loop has a stand-in meanwhile. The socket blocks for the
    // while, so that each send returns once its piece is queued; a client
    // that takes no piece within the send timeout is shut down by the
    // watch, which makes the send fail.
    const blocking_region waiting;
    boost::system::error_code error;
    socket_.non_blocking(false, error);
    while (size > 0 && !error) {
        set_deadline(context_.limits.send_timeout);
        const std::size_t sent =
            socket_.write_some(boost::asio::buffer(data, std::min(size, streamed_piece)), error);
        bytes_sent_ += sent;
        data += sent;
        size -= sent;
    }
    set_deadline(clock::duration::zero());
    boost::system::error_code ignored;
    socket_.non_blocking(true, ignored);
    return !error;
}

void http_connection::write_answer(bool keep_alive) {
    if (streaming_failed_) return answer_sent(false, boost::asio::error::broken_pipe);
    // Most answers fit the socket's send buffer: sent here and now, the
    // next request is awaited without a round through the loop.
    boost::system::error_code error;
    const std::size_t sent = socket_.write_some(boost::asio::buffer(answer_), error);
    bytes_sent_ += sent;
    if (!error && sent == answer_.size()) return answer_sent(keep_alive, error);
    if (error && error != boost::asio::error::would_block) return answer_sent(false, error);
    write_rest(keep_alive, sent);
}

void http_connection::write_rest(bool keep_alive, std::size_t from) {
    // The send timeout runs from the last progress, so that a slow reader
    // is served as long as it reads.
    set_deadline(context_.limits.send_timeout);
    socket_.async_write_some(boost::asio::buffer(answer_.data() + from, answer_.size() - from),
                             [self = shared_from_this(), keep_alive,
                              from](boost::system::error_code error, std::size_t sent) {
                                 self->bytes_sent_ += sent;
                                 if (error || from + sent == self->answer_.size()) {
                                     return self->answer_sent(keep_alive && !error, error);
                                 }
                                 self->write_rest(keep_alive, from + sent);
                             });
}

void http_connection::answer_sent(bool keep_alive, boost::system::error_code error) {
    set_deadline(clock::duration::zero());
    if (made_) {
        context_.handler->sent(*made_, bytes_sent_);
        made_.reset();
    } else {
        context_.handler->refused(
            refused_, refused_status_,
            bytes_sent_ > refused_head_bytes_ ? bytes_sent_ - refused_head_bytes_ : 0,
            clock::now() - answer_start_);
    }
    bytes_sent_ = 0;
    streaming_failed_ = false;
    answer_.clear();
    // A large answer's buffer is not kept for the next request.
    if (answer_.capacity() > 64 * 1024) std::string().swap(answer_);
    if (!error && keep_alive) return read_request();
    boost::system::error_code ignored;
    socket_.shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
    if (error) return close();
    linger();
}

void http_connection::linger() {
    // Closing with request bytes unread would reset the connection, and a
    // reset can destroy the answer before the client has read it: what the
    // client still sends is read and dropped until it closes its side, for
    // a moment at most (the watch shuts the socket down then).
    set_deadline(linger_time);
    buffer_.clear();
    socket_.async_read_some(
        buffer_.prepare(4096),
        [self = shared_from_this()](boost::system::error_code error, std::size_t) {
            if (error) return self->close();
            self->linger();
        });
}

} // namespace quorin::host
