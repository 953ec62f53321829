// Origins for the tests of origin mode, each on a free 127.0.0.1 port and
// stopped by the test: a real nginx serving a folder, s3rver serving a
// bucket, and a stub that accepts and then answers wrongly.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"

namespace quorin::test {

// The full path of `name` on PATH, when it is there.
std::optional<std::filesystem::path> program_on_path(const std::string& name);

// A port no one listens on at the moment of asking.
int free_port();

// Waits until something accepts connections on 127.0.0.1:`port`; false
// after `patience`.
bool accepts_connections(int port, std::chrono::milliseconds patience);

// nginx serving `www` with its config, logs and pid file in `directory`;
// `locations` is added to its server block. With `self_signed` it serves
// HTTPS with a certificate of its own, which no system store trusts.
class nginx_origin {
public:
    nginx_origin(const std::filesystem::path& directory, const std::filesystem::path& www,
                 const std::string& locations = {}, bool self_signed = false);
    ~nginx_origin() { stop(); }
    nginx_origin(const nginx_origin&) = delete;
    nginx_origin& operator=(const nginx_origin&) = delete;

    int port() const { return port_; }
    std::string url() const {
        return (tls_ ? "https" : "http") + std::string("://127.0.0.1:") + std::to_string(port_);
    }
    // Access-log lines holding `text`.
    std::size_t requests_with(const std::string& text) const;
    void stop();

private:
    std::filesystem::path directory_;
    int port_;
    bool tls_;
    std::unique_ptr<child_process> process_;
};

// s3rver from tests/node_modules with one bucket, `bucket`; its objects
// are written with unsigned PUTs, which it takes.
class bucket_server {
public:
    bucket_server(const std::filesystem::path& directory, const std::string& bucket);
    ~bucket_server() = default;

    std::string endpoint() const { return "http://127.0.0.1:" + std::to_string(port_); }
    void put(const std::string& key, const std::string& bytes) const;

private:
    std::string bucket_;
    int port_;
    std::unique_ptr<child_process> process_;
};

// A server that accepts connections and, per `manner`, never answers,
// announces a body it cuts short, or answers every request whole with
// `body` and `etag` but no date (and no regard for conditions).
class stub_origin {
public:
    enum class manner { silent, cut_short, undated };
    explicit stub_origin(manner how);
    void serve(std::string body, std::string etag);
    ~stub_origin();
    stub_origin(const stub_origin&) = delete;
    stub_origin& operator=(const stub_origin&) = delete;

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    void accept_next();

    manner manner_;
    std::mutex mutex_;
    std::string answer_; // under mutex_
    boost::asio::io_context io_;
    boost::asio::ip::tcp::acceptor acceptor_{io_};
    std::vector<std::shared_ptr<boost::asio::ip::tcp::socket>> held_;
    int port_ = 0;
    std::thread thread_;
};

} // namespace quorin::test
