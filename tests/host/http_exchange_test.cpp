#include "chain/http_exchange.h"

#include <gtest/gtest.h>
#include <regex>
#include <vector>

#include "support/text_sink.h"

namespace quorin::host {
namespace {

http_request request_of(const std::string& method, bool keep_alive = true) {
    http_request request;
    request.method = method;
    request.path = "/photo.jpg";
    request.query = "w=1";
    request.keep_alive = keep_alive;
    return request;
}

// The module's way: the header block through ServerSupportFunction.
void send_module_header(EXTENSION_CONTROL_BLOCK* record, const char* status,
                        const std::string& block) {
    record->ServerSupportFunction(record->ConnID, HSE_REQ_SEND_RESPONSE_HEADER,
                                  const_cast<char*>(status), nullptr,
                                  reinterpret_cast<DWORD*>(const_cast<char*>(block.c_str())));
}

void write_client(EXTENSION_CONTROL_BLOCK* record, const std::string& bytes) {
    DWORD size = static_cast<DWORD>(bytes.size());
    record->WriteClient(record->ConnID, const_cast<char*>(bytes.data()), &size, 0);
}

TEST(HttpExchange, TheRecordCarriesTheRequest) {
    test::text_sink out;
    http_exchange exchange(request_of("HEAD"), out);
    EXTENSION_CONTROL_BLOCK* record = exchange.record();
    EXPECT_STREQ(record->lpszMethod, "HEAD");
    EXPECT_STREQ(record->lpszQueryString, "w=1");
    EXPECT_EQ(record->ConnID, &exchange);
    EXPECT_EQ(record->cbSize, sizeof(EXTENSION_CONTROL_BLOCK));
}

TEST(HttpExchange, PutsStatusDateAndConnectionBeforeTheModulesBlock) {
    test::text_sink out;
    http_exchange exchange(request_of("GET"), out);
    const std::string block = "Content-Type: image/png\r\nContent-Length: 3\r\n\r\n";
    send_module_header(exchange.record(), "200 OK", block);
    write_client(exchange.record(), "abc");

    const std::regex expected(
        "HTTP/1\\.1 200 OK\r\n"
        "Date: [A-Z][a-z]{2}, \\d\\d [A-Z][a-z]{2} \\d{4} \\d\\d:\\d\\d:\\d\\d GMT\r\n"
        "Connection: keep-alive\r\n"
        "X-Content-Type-Options: nosniff\r\n"
        "Content-Type: image/png\r\nContent-Length: 3\r\n\r\nabc");
    EXPECT_TRUE(std::regex_match(out.all(), expected)) << out.all();
    EXPECT_EQ(exchange.status(), 200);
    EXPECT_EQ(exchange.body_bytes(), 3u);
}

TEST(HttpExchange, AnnouncesCloseWhenTheClientWillNotKeepTheConnection) {
    test::text_sink out;
    http_exchange exchange(request_of("GET", false), out);
    exchange.send("404 Not Found", "text/plain", "gone");
    EXPECT_NE(out.all().find("\r\nConnection: close\r\n"), std::string::npos);
    EXPECT_EQ(exchange.status(), 404);
}

TEST(HttpExchange, EveryPieceGoesOutAsItComesInItsOrder) {
    test::text_sink out;
    http_exchange exchange(request_of("GET"), out);
    send_module_header(exchange.record(), "200 OK",
                       "Content-Type: image/png\r\ncontent-LENGTH:  204800\r\n\r\n");
    ASSERT_EQ(out.writes.size(), 1u);
    // The length announced, in any case, is the room the sink makes.
    EXPECT_EQ(out.expected, 204800u);
    for (int piece = 0; piece < 50; ++piece) {
        const std::string chunk(4096, static_cast<char>('a' + piece % 26));
        write_client(exchange.record(), chunk);
        ASSERT_EQ(out.writes.size(), 2u + piece);
        EXPECT_EQ(out.writes.back(), chunk);
    }
    EXPECT_EQ(exchange.body_bytes(), 204800u);
}

TEST(HttpExchange, HeadAnswersCarryNoBody) {
    test::text_sink out;
    http_exchange exchange(request_of("HEAD"), out);
    exchange.send("400 Bad Request", "text/plain", "bad w\n");
    const std::string sent = out.all();
    EXPECT_NE(sent.find("Content-Length: 6\r\n"), std::string::npos);
    EXPECT_EQ(sent.substr(sent.size() - 4), "\r\n\r\n");
    EXPECT_EQ(out.expected, 0u); // no body follows a HEAD answer
    EXPECT_EQ(exchange.body_bytes(), 0u);
}

TEST(HttpExchange, OneHeaderPerAnswerAndNoBodyBeforeIt) {
    test::text_sink out;
    http_exchange exchange(request_of("GET"), out);
    int header_calls = 0;
    exchange.on_header_sent([&] { ++header_calls; });
    write_client(exchange.record(), "early");
    EXPECT_FALSE(exchange.header_sent());
    send_module_header(exchange.record(), "200 OK", "Content-Length: 0\r\n\r\n");
    send_module_header(exchange.record(), "500 Oops", "Content-Length: 0\r\n\r\n");
    EXPECT_EQ(header_calls, 1);
    EXPECT_EQ(exchange.status(), 200);
    EXPECT_EQ(out.all().find("early"), std::string::npos);
    EXPECT_EQ(out.all().find("500"), std::string::npos);
}

TEST(HttpExchange, RefusesOtherServerSupportRequests) {
    test::text_sink out;
    http_exchange exchange(request_of("GET"), out);
    EXTENSION_CONTROL_BLOCK* record = exchange.record();
    char status[] = "200 OK";
    EXPECT_EQ(record->ServerSupportFunction(record->ConnID, 1, status, nullptr, nullptr), 0);
    EXPECT_FALSE(exchange.header_sent());
}

} // namespace
} // namespace quorin::host
