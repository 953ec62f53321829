// HTTP/1.1 as a strict reader of the RFCs sends it: each case as raw bytes
// with a second request pipelined behind, so that the answer's status and
// whether the connection stayed in step (the second one answered) or was
// closed show together. One host, signing URLs, with a short header timeout.
#include <algorithm>
#include <gtest/gtest.h>

#include "security/url_signature.h"
#include "support/end_to_end.h"
#include "support/host_process.h"
#include "support/raw_connection.h"
#include "support/temp_dir.h"

namespace quorin::test {
namespace {

using namespace std::chrono_literals;

constexpr auto patience = 10s;
const std::string key = "a signing key of the test";
// Pipelined behind every case; its answer is the only one that names this.
const std::string second_request = "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n";
const std::string second_answered = "quorin_host_build_info";

std::string request(const std::string& request_line, const std::string& header_lines = "",
                    const std::string& body = "") {
    return request_line + "\r\n" + header_lines + "\r\n" + body;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
}

struct exchange_case {
    std::string what;
    std::string sent;
    std::string status; // of the first answer
    bool kept;          // the second request answered, or the connection closed
    std::string logged = {};
    bool dripped = false; // the second request sent a byte every half second
};

TEST(HttpConformance, EachCaseGetsItsStatusAndKeepsOrClosesTheConnection) {
    temp_dir dir;
    const auto images = dir.path() / "images";
    std::filesystem::create_directories(images);
    write_image(images / "photo.jpg", 80, 60);
    const auto module = install_module(dir.path() / "module", "cache");
    std::filesystem::create_directories(module.parent_path() / "cache");
    write_file(dir.path() / "key", key);
    host_process host({"--images", images.string(), "--module", module.string(), "--signing-key",
                       (dir.path() / "key").string(), "--header-timeout", "3"});

    const host::url_signer signer(key);
    const auto head = [&signer](const std::string& url, const std::string& header_lines = "") {
        return request("HEAD " + host::signed_url(signer, url).value() + " HTTP/1.1",
                       "Host: x\r\n" + header_lines);
    };
    const std::string probe = "GET /healthz HTTP/1.1";
    const std::string host_line = "Host: x\r\n";
    const std::string past = "Sat, 01 Jan 2000 00:00:00 GMT";
    const exchange_case cases[] = {
        // Framing: a body whose end is uncertain is never read as a request.
        {"unknown coding", request(probe, host_line + "Transfer-Encoding: xchunked\r\n"), "400",
         false},
        {"identity", request(probe, host_line + "Transfer-Encoding: identity\r\n"), "400", false},
        {"chunked not last", request(probe, host_line + "Transfer-Encoding: chunked, identity\r\n"),
         "400", false},
        {"coding before chunked",
         request(probe, host_line + "Transfer-Encoding: gzip, chunked\r\n", "0\r\n\r\n"), "501",
         false},
        {"Chunked",
         request(probe, host_line + "Transfer-Encoding: Chunked\r\n", "1\r\nx\r\n0\r\n\r\n"), "200",
         true},
        {"HTTP/1.0 chunked",
         request("GET /healthz HTTP/1.0",
                 "Connection: keep-alive\r\nTransfer-Encoding: chunked\r\n", "0\r\n\r\n"),
         "400", false},
        {"coding and length",
         request(probe, host_line + "Transfer-Encoding: xchunked\r\nContent-Length: 5\r\n",
                 "hello"),
         "400", false},
        {"length and chunked",
         request(probe, host_line + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n", "hello"),
         "400", false},
        {"two lengths", request(probe, host_line + "Content-Length: 5\r\nContent-Length: 6\r\n"),
         "400", false},
        {"a body", request(probe, host_line + "Content-Length: 5\r\n", "hello"), "200", true},
        // Host.
        {"no Host", request(probe), "400", false},
        {"two Hosts", request(probe, "Host: a\r\nHost: b\r\n"), "400", false},
        {"bad Host", request(probe, "Host: a b/c\r\n"), "400", false},
        {"Host with port", request(probe, "Host: [::1]:8080\r\n"), "200", true},
        // A body it waits to send is not waited for.
        {"100-continue",
         request(probe, host_line + "Expect: 100-continue\r\nContent-Length: 5\r\n", "hello"),
         "200", false},
        // Lengths and bytes.
        {"long request line", request("GET /" + std::string(100'000, 'a') + " HTTP/1.1", host_line),
         "414", false},
        {"long header",
         request(probe, host_line + "X-Padding: " + std::string(20'000, 'a') + "\r\n"), "431",
         false},
        {"large body", request(probe, host_line + "Content-Length: 100000\r\n"), "413", false},
        {"NUL in a header", request(probe, host_line + std::string("X-A: a\0b\r\n", 10)), "400",
         false},
        {"control byte in the target", request("GET /a\x01z HTTP/1.1", host_line), "400", false,
         "\"GET /a\\x01z HTTP/1.1\" 400"},
        {"blank line first", "\r\n" + request(probe, host_line), "200", true},
        {"HTTP/1.2", request("GET /healthz HTTP/1.2", host_line), "200", true},
        {"HTTP/2.0", request("GET /healthz HTTP/2.0", host_line), "505", false,
         "\"GET /healthz HTTP/2.0\" 505"},
        {"slow next header", request(probe, host_line), "200", false, "", true},
        // Preconditions.
        {"If-Match other", head("/photo.jpg?w=10", "If-Match: \"nope\"\r\n"), "412", true},
        {"If-Match *", head("/photo.jpg?w=10", "If-Match: *\r\n"), "200", true},
        {"If-Unmodified-Since past",
         head("/photo.jpg?w=10", "If-Unmodified-Since: " + past + "\r\n"), "412", true},
        {"If-None-Match *", head("/photo.jpg?w=10", "If-None-Match: *\r\n"), "304", true},
        // Signatures and what error texts and the log may show.
        {"two signatures",
         request("HEAD " + host::signed_url(signer, "/photo.jpg?w=10").value() +
                     "&sig=junk HTTP/1.1",
                 host_line),
         "403", true},
        {"NUL in a parameter",
         request("GET " + host::signed_url(signer, "/photo.jpg?w=10%00").value() + " HTTP/1.1",
                 host_line),
         "400", true},
        {"bytes outside ASCII in the path",
         request("GET " + host::signed_url(signer, "/%ff%fe").value() + " HTTP/1.1", host_line),
         "404", true},
        {"line breaks in User-Agent",
         request(probe, host_line + "User-Agent: x\xE2\x80\xA8\xC2\x85\xE2\x80\xAE\"y\r\n"), "200",
         true, "\"x\\xE2\\x80\\xA8\\xC2\\x85\\xE2\\x80\\xAE\\x22y\""},
    };

    for (const auto& sent : cases) {
        SCOPED_TRACE(sent.what);
        raw_connection connection(host.port());
        const auto started = std::chrono::steady_clock::now();
        std::string answers;
        if (sent.dripped) {
            connection.send(sent.sent);
            connection.receive_until("ok\n", patience);
            for (const char byte : second_request) {
                connection.send(std::string(1, byte));
                answers = connection.receive_until_closed(500ms);
                if (connection.closed()) break;
            }
            // Closed at the header timeout, long before the keep-alive one.
            EXPECT_LT(std::chrono::steady_clock::now() - started, 8s);
        } else {
            connection.send(sent.sent + second_request);
            answers = sent.kept ? connection.receive_until(second_answered, patience)
                                : connection.receive_until_closed(patience);
        }
        EXPECT_EQ(answers.rfind("HTTP/1.1 " + sent.status + " ", 0), 0u) << answers;
        EXPECT_EQ(answers.find(second_answered) != std::string::npos, sent.kept) << answers;
        EXPECT_EQ(connection.closed(), !sent.kept) << answers;
        // Every answer says nosniff, and none carries a raw request byte.
        EXPECT_EQ(count(answers, "\r\nX-Content-Type-Options: nosniff\r\n"),
                  count(answers, "\r\nDate: "))
            << answers;
        const auto raw = std::find_if(answers.begin(), answers.end(), [](char c) {
            return (c < ' ' || c > '~') && c != '\r' && c != '\n';
        });
        EXPECT_TRUE(raw == answers.end()) << answers;
        if (!sent.logged.empty()) {
            EXPECT_TRUE(host.wait_for_line([&sent](const std::string& line) {
                return line.find(sent.logged) != std::string::npos;
            })) << sent.logged;
        }
    }
}

} // namespace
} // namespace quorin::test
