#include "http/http_server.h"

#include <algorithm>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <list>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "base/loop_threads.h"
#include "http/http_connection.h"

namespace quorin::host {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

// How often connections are checked against their deadlines: timeouts are
// this coarse, and a timed-out connection costs nothing per request.
constexpr auto watch_interval = std::chrono::milliseconds(250);
// After a failed accept (out of descriptors, say), so as not to spin.
constexpr auto accept_pause = std::chrono::milliseconds(100);

tcp::endpoint endpoint_of(const std::string& listen, asio::io_context& io) {
    const std::string ports = listening_ports_option(listen);
    if (ports.empty())
        throw std::runtime_error("cannot listen on '" + listen + "': give HOST:PORT");
    const auto colon = ports.rfind(':');
    std::string host = ports.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const auto port = static_cast<unsigned short>(std::stoul(ports.substr(colon + 1)));
    boost::system::error_code error;
    const auto address = asio::ip::make_address(host, error);
    if (!error) return {address, port};
    tcp::resolver resolver(io);
    const auto found = resolver.resolve(host, std::to_string(port), error);
    if (error || found.empty())
        throw std::runtime_error("cannot listen on " + ports + ": unknown host");
    return *found.begin();
}

} // namespace

// One event loop and the threads that run it. A connection stays on the
// loop it was given, so that its handlers run where its socket's events
// arrive and no other thread has to be woken for it.
struct event_loop {
    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> work{io.get_executor()};
    std::optional<loop_threads> threads;
};

class http_server::state {
public:
    state(const std::string& listen, const front_limits& limits, http_handler& handler) {
        context_.limits = limits;
        context_.handler = &handler;
        const unsigned count = std::max(1u, limits.loop_threads);
        for (unsigned i = 0; i < count; ++i) loops_.push_back(std::make_unique<event_loop>());
        auto& io = loops_.front()->io;
        acceptor_.emplace(io);
        watch_.emplace(io);
        pause_.emplace(io);
        const tcp::endpoint endpoint = endpoint_of(listen, io);
        boost::system::error_code error;
        acceptor_->open(endpoint.protocol(), error);
        if (!error) acceptor_->set_option(tcp::acceptor::reuse_address(true), error);
        if (!error) acceptor_->bind(endpoint, error);
        if (!error) acceptor_->listen(asio::socket_base::max_listen_connections, error);
        if (error) {
            throw std::runtime_error("cannot listen on " + listening_ports_option(listen) + ": " +
                                     error.message());
        }
        port_ = acceptor_->local_endpoint().port();
        accept();
        watch();
        // Each loop gets its share of the stand-ins.
        const unsigned most = std::max(1u, limits.most_threads / count);
        for (auto& loop : loops_) {
            loop->threads.emplace(1, most, [&io = loop->io] { return io.run_one() > 0; });
        }
    }

    ~state() { stop(std::chrono::seconds(5)); }

    int port() const { return port_; }

    void stop_accepting() {
        if (std::exchange(accepting_, false) == false) return;
        context_.stopping.store(true, std::memory_order_relaxed);
        asio::post(loops_.front()->io, [this] {
            boost::system::error_code ignored;
            acceptor_->close(ignored);
        });
    }

    unsigned open_connections() const {
        return context_.connections.load(std::memory_order_relaxed);
    }

    void stop(std::chrono::milliseconds grace) {
        if (stopped_) return;
        stopped_ = true;
        stop_accepting();
        // The watch closes the connections that wait for a request; the
        // others close once their answer has left.
        const auto deadline = std::chrono::steady_clock::now() + grace;
        while (open_connections() > 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        close_all_connections();
        for (auto& loop : loops_) {
            loop->work.reset();
            loop->io.stop();
        }
        for (auto& loop : loops_) loop->threads.reset();
    }

private:
    void accept() {
        auto& loop = *loops_[next_loop_++ % loops_.size()];
        // No strand: a connection has one operation pending at a time, so its
        // handlers never run at once, even with stand-ins on its loop.
        acceptor_->async_accept(loop.io, [this](boost::system::error_code error,
                                                tcp::socket socket) {
            if (error == asio::error::operation_aborted || !acceptor_->is_open()) return;
            if (error) {
                pause_->expires_after(accept_pause);
                pause_->async_wait([this](boost::system::error_code) { accept(); });
                return;
            }
            if (context_.connections.load(std::memory_order_relaxed) >=
                context_.limits.max_connections) {
                // Past the limit the newcomer goes, not the clients served.
                boost::system::error_code ignored;
                socket.close(ignored);
            } else {
                auto connection = std::make_shared<http_connection>(std::move(socket), context_);
                {
                    std::lock_guard lock(mutex_);
                    connections_.push_back(connection);
                }
                connection->start();
            }
            accept();
        });
    }

    void watch() {
        watch_->expires_after(watch_interval);
        watch_->async_wait([this](boost::system::error_code error) {
            if (error) return;
            close_overdue_connections();
            watch();
        });
    }

    // Shut down, so that a handler that still writes fails and leaves.
    void close_all_connections() {
        std::vector<std::shared_ptr<http_connection>> open;
        {
            std::lock_guard lock(mutex_);
            for (const auto& connection : connections_) {
                if (auto alive = connection.lock()) open.push_back(std::move(alive));
            }
        }
        for (const auto& connection : open) connection->close_from_outside();
    }

    void close_overdue_connections() {
        const auto now = http_connection::clock::now();
        std::vector<std::shared_ptr<http_connection>> overdue;
        {
            std::lock_guard lock(mutex_);
            for (auto at = connections_.begin(); at != connections_.end();) {
                auto connection = at->lock();
                if (!connection) {
                    at = connections_.erase(at);
                    continue;
                }
                if (connection->overdue(now)) overdue.push_back(std::move(connection));
                ++at;
            }
        }
        for (const auto& connection : overdue) connection->close_from_outside();
    }

    // Declared first, so that connections still queued in a loop when it
    // is destroyed find their context.
    front_context context_;
    std::vector<std::unique_ptr<event_loop>> loops_;
    std::size_t next_loop_ = 0;
    std::optional<tcp::acceptor> acceptor_;
    std::optional<asio::steady_timer> watch_;
    std::optional<asio::steady_timer> pause_;
    int port_ = 0;
    bool accepting_ = true;
    bool stopped_ = false;
    std::mutex mutex_;
    std::list<std::weak_ptr<http_connection>> connections_;
};

std::string listening_ports_option(const std::string& listen) {
    const auto colon = listen.rfind(':');
    const std::string host = colon == std::string::npos ? "127.0.0.1" : listen.substr(0, colon);
    const std::string port = colon == std::string::npos ? listen : listen.substr(colon + 1);
    if (host.empty() || port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos || std::stoul(port) > 65535 ||
        host.find_first_of(" ,") != std::string::npos) {
        return {};
    }
    return host + ":" + port;
}

http_server::http_server(const std::string& listen, const front_limits& limits,
                         http_handler& handler)
    : state_(std::make_unique<state>(listen, limits, handler)) {}

http_server::~http_server() = default;

int http_server::port() const { return state_->port(); }

void http_server::stop_accepting() { state_->stop_accepting(); }

unsigned http_server::open_connections() const { return state_->open_connections(); }

void http_server::stop(std::chrono::milliseconds grace) { state_->stop(grace); }

} // namespace quorin::host
