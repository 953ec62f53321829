#include "http_server.h"

#include <algorithm>
#include <cctype>
#include <civetweb.h>
#include <cstdio>
#include <stdexcept>
#include <string_view>

#include "http_exchange.h"
#include "request_handler.h"

namespace quorin::host {
namespace {

// The same rule civetweb applies after the handler returns, so that the
// Connection line announces what the server then does.
bool wants_keep_alive(const mg_connection* connection, const mg_request_info& info) {
    if (const char* header = mg_get_header(connection, "Connection")) {
        std::string value = header;
        std::transform(value.begin(), value.end(), value.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return value.find("keep-alive") != std::string::npos;
    }
    return info.http_version != nullptr && std::string_view(info.http_version) == "1.1";
}

int handle(mg_connection* connection, void* data) {
    const mg_request_info& info = *mg_get_request_info(connection);
    http_request request;
    request.method = info.request_method != nullptr ? info.request_method : "";
    // The raw local path keeps ".." elements, so that an escape attempt is
    // seen and refused rather than silently folded.
    request.path = info.local_uri_raw != nullptr ? info.local_uri_raw : "";
    request.query = info.query_string != nullptr ? info.query_string : "";
    request.keep_alive = wants_keep_alive(connection, info);
    request.version = info.http_version != nullptr ? std::string("HTTP/") + info.http_version : "";
    request.client_address = info.remote_addr;
    for (auto [name, field] : {std::pair{"If-None-Match", &request.if_none_match},
                               {"If-Modified-Since", &request.if_modified_since},
                               {"Referer", &request.referer},
                               {"User-Agent", &request.user_agent},
                               {"Accept", &request.accept}}) {
        if (const char* value = mg_get_header(connection, name)) *field = value;
    }

    http_exchange exchange(request, [connection](const char* bytes, std::size_t size) {
        return mg_write(connection, bytes, size) == static_cast<int>(size);
    });
    static_cast<request_handler*>(data)->handle(exchange);
    if (!request.keep_alive) mg_disable_connection_keep_alive(connection);
    // A status code tells civetweb the request is answered in full.
    return exchange.status() != 0 ? exchange.status() : 500;
}

// Every image is open to every client. Without an authorization handler
// civetweb looks for a password file on each request, a file system call
// per hit for nothing.
int admit_everyone(mg_connection*, void*) { return 1; }

// civetweb reports its own troubles here; they go to standard error.
int log_message(const mg_connection*, const char* message) {
    std::fprintf(stderr, "quorin-host: %s\n", message);
    return 1;
}

} // namespace

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

http_server::http_server(const std::string& listen, unsigned threads, request_handler& handler) {
    const std::string ports = listening_ports_option(listen);
    if (ports.empty())
        throw std::runtime_error("cannot listen on '" + listen + "': give HOST:PORT");
    const std::string thread_count = std::to_string(threads);
    const char* options[] = {
        "listening_ports",
        ports.c_str(),
        "num_threads",
        thread_count.c_str(),
        "enable_keep_alive",
        "yes",
        "keep_alive_timeout_ms",
        "5000",
        "tcp_nodelay",
        "1",
        "request_timeout_ms",
        "30000",
        nullptr,
    };
    mg_callbacks callbacks{};
    callbacks.log_message = &log_message;
    mg_init_library(0);
    context_ = mg_start(&callbacks, nullptr, options);
    if (context_ == nullptr) {
        mg_exit_library();
        throw std::runtime_error("cannot listen on " + ports);
    }
    mg_set_auth_handler(context_, "/", &admit_everyone, nullptr);
    mg_set_request_handler(context_, "/", &handle, &handler);
}

http_server::~http_server() {
    mg_stop(context_);
    mg_exit_library();
}

int http_server::port() const {
    mg_server_port ports[1]{};
    return mg_get_server_ports(context_, 1, ports) > 0 ? ports[0].port : 0;
}

} // namespace quorin::host
