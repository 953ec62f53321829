#include "support/served_origin.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>
#include <cstdlib>
#include <curl/curl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/temp_dir.h"

namespace quorin::test {
namespace {

using boost::asio::ip::tcp;
const auto loopback = boost::asio::ip::make_address("127.0.0.1");

} // namespace

std::optional<std::filesystem::path> program_on_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const auto candidate = std::filesystem::path(folder) / name;
        std::error_code error;
        if (!folder.empty() && std::filesystem::is_regular_file(candidate, error)) return candidate;
    }
    return std::nullopt;
}

int free_port() {
    boost::asio::io_context io;
    tcp::acceptor acceptor(io, tcp::endpoint(loopback, 0));
    return acceptor.local_endpoint().port();
}

bool accepts_connections(int port, std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < deadline) {
        boost::asio::io_context io;
        tcp::socket socket(io);
        boost::system::error_code error;
        socket.connect({loopback, static_cast<unsigned short>(port)}, error);
        if (!error) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

nginx_origin::nginx_origin(const std::filesystem::path& directory, const std::filesystem::path& www,
                           const std::string& locations, bool self_signed)
    : directory_(directory), port_(free_port()), tls_(self_signed) {
    const std::string dir = directory.string();
    std::filesystem::create_directories(directory / "temp");
    std::string tls = ";\n    root " + www.string() + ";\n";
    if (self_signed) {
        const auto openssl = program_on_path("openssl");
        if (!openssl) throw std::runtime_error("openssl is not installed");
        child_process made(openssl->string(),
                           {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                            "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                            dir + "/key.pem", "-out", dir + "/cert.pem"});
        while (!made.output_ended()) made.read_line(std::chrono::seconds(1));
        if (made.wait(std::chrono::seconds(30)) != 0)
            throw std::runtime_error("openssl made no certificate");
        tls = " ssl" + tls + "    ssl_certificate " + dir + "/cert.pem;\n    ssl_certificate_key " +
              dir + "/key.pem;\n";
    }
    // The combined log format, then how many requests the connection carried.
    std::string config = R"(worker_processes 1;
error_log @DIR@/error.log;
events { worker_connections 256; }
http {
  log_format reuse '$remote_addr - $remote_user [$time_local] "$request" $status '
                   '$body_bytes_sent "$http_referer" "$http_user_agent" c=$connection_requests';
  access_log @DIR@/access.log reuse;
  client_body_temp_path @DIR@/temp;
  proxy_temp_path @DIR@/temp;
  fastcgi_temp_path @DIR@/temp;
  uwsgi_temp_path @DIR@/temp;
  scgi_temp_path @DIR@/temp;
  server {
    listen 127.0.0.1:@PORT@@TLS@
@LOCATIONS@  }
}
)";
    const std::pair<std::string, std::string> fills[] = {{"@DIR@", dir},
                                                         {"@PORT@", std::to_string(port_)},
                                                         {"@TLS@", tls},
                                                         {"@LOCATIONS@", locations}};
    for (const auto& [mark, value] : fills) {
        for (auto at = config.find(mark); at != std::string::npos;
             at = config.find(mark, at + value.size()))
            config.replace(at, mark.size(), value);
    }
    write_file(directory / "nginx.conf", config);
    const auto nginx = program_on_path("nginx");
    if (!nginx) throw std::runtime_error("nginx is not installed (scripts/install-deps.sh)");
    process_ = std::make_unique<child_process>(
        nginx->string(), std::vector<std::string>{"-p", dir, "-c", dir + "/nginx.conf", "-g",
                                                  "daemon off; pid " + dir + "/nginx.pid;"});
    if (!accepts_connections(port_, std::chrono::seconds(10)))
        throw std::runtime_error("nginx did not start: " + read_file(directory / "error.log"));
}

std::size_t nginx_origin::requests_with(const std::string& text) const {
    std::ifstream log(directory_ / "access.log");
    std::size_t count = 0;
    for (std::string line; std::getline(log, line);)
        count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
}

void nginx_origin::stop() {
    if (!process_) return;
    process_->terminate();
    if (!process_->wait(std::chrono::seconds(10))) process_->kill();
    process_.reset();
}

bucket_server::bucket_server(const std::filesystem::path& directory, const std::string& bucket)
    : bucket_(bucket), port_(free_port()) {
    const auto node = program_on_path("node");
    const std::filesystem::path server =
        std::filesystem::path(QUORIN_TESTS_DIR) / "node_modules" / "s3rver" / "bin" / "s3rver.js";
    if (!node || !std::filesystem::exists(server))
        throw std::runtime_error("s3rver is not installed (npm ci --prefix tests)");
    std::filesystem::create_directories(directory);
    process_ = std::make_unique<child_process>(
        node->string(),
        std::vector<std::string>{server.string(), "-d", directory.string(), "-a", "127.0.0.1", "-p",
                                 std::to_string(port_), "--configure-bucket", bucket, "-s"});
    if (!accepts_connections(port_, std::chrono::seconds(60)))
        throw std::runtime_error("s3rver did not start");
}

void bucket_server::put(const std::string& key, const std::string& bytes) const {
    CURL* curl = curl_easy_init();
    const std::string url = endpoint() + "/" + bucket_ + "/" + key;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "PUT");
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, bytes.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bytes.size()));
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION,
        +[](char*, std::size_t size, std::size_t count, void*) { return size * count; });
    const CURLcode result = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    if (result != CURLE_OK || status != 200) throw std::runtime_error("cannot put " + url);
}

stub_origin::stub_origin(manner how) : manner_(how) {
    acceptor_.open(tcp::v4());
    acceptor_.bind({loopback, 0});
    acceptor_.listen();
    port_ = acceptor_.local_endpoint().port();
    accept_next();
    thread_ = std::thread([this] { io_.run(); });
}

stub_origin::~stub_origin() {
    io_.stop();
    thread_.join();
}

void stub_origin::serve(std::string body, std::string etag) {
    const std::lock_guard lock(mutex_);
    answer_ = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
              "\r\nETag: " + etag + "\r\nConnection: close\r\n\r\n" + body;
}

void stub_origin::accept_next() {
    auto socket = std::make_shared<tcp::socket>(io_);
    acceptor_.async_accept(*socket, [this, socket](boost::system::error_code error) {
        if (error) return;
        held_.push_back(socket);
        if (manner_ != manner::silent) {
            // A whole request read, then the answer.
            auto request = std::make_shared<boost::asio::streambuf>();
            boost::asio::async_read_until(
                *socket, *request, "\r\n\r\n",
                [this, socket, request](boost::system::error_code, std::size_t) {
                    auto answer = std::make_shared<std::string>();
                    if (manner_ == manner::cut_short) {
                        // Half the body it announces.
                        *answer =
                            "HTTP/1.1 200 OK\r\nContent-Length: 20000\r\nETag: \"cut\"\r\n\r\n" +
                            std::string(10000, 'x');
                    } else {
                        const std::lock_guard lock(mutex_);
                        *answer = answer_;
                    }
                    boost::asio::async_write(*socket, boost::asio::buffer(*answer),
                                             [socket, answer](boost::system::error_code,
                                                              std::size_t) { socket->close(); });
                });
        }
        accept_next();
    });
}

} // namespace quorin::test
