// The HTTP front as clients that misbehave see it: held connections, slow
// and oversized headers, pipelining, too many connections, and a stop
// while a request is in flight. Each test runs its own host.
#include <csignal>
#include <future>
#include <gtest/gtest.h>
#include <memory>

#include "support/end_to_end.h"
#include "support/host_process.h"
#include "support/http_client.h"
#include "support/raw_connection.h"
#include "support/temp_dir.h"

namespace quorin::test {
namespace {

using namespace std::chrono_literals;

constexpr auto patience = 10s;
const std::string half_header = "GET /healthz HTTP/1.1\r\nHost: x\r\n";
const std::string whole_request = half_header + "\r\n";

class Front : public ::testing::Test {
protected:
    Front() {
        std::filesystem::create_directories(images);
        write_image(images / "photo.jpg", 800, 600);
    }

    void start(std::vector<std::string> extra) {
        const auto module = install_module(dir.path() / "module", "cache");
        std::filesystem::create_directories(module.parent_path() / "cache");
        std::vector<std::string> arguments{"--images", images.string(), "--module", module.string(),
                                           "--quiet"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        host = std::make_unique<host_process>(arguments);
    }

    std::unique_ptr<raw_connection> connect() {
        return std::make_unique<raw_connection>(host->port());
    }

    // A connection that has had one answer and is kept open.
    std::unique_ptr<raw_connection> answered_connection() {
        auto connection = connect();
        connection->send(whole_request);
        EXPECT_NE(connection->receive_until("ok\n", patience).find("200 OK"), std::string::npos);
        return connection;
    }

    temp_dir dir;
    std::filesystem::path images = dir.path() / "images";
    std::unique_ptr<host_process> host;
};

TEST_F(Front, HeldConnectionsDoNotKeepOthersWaiting) {
    start({"--threads", "1"});
    std::vector<std::unique_ptr<raw_connection>> held;
    for (int i = 0; i < 300; ++i) {
        held.push_back(i % 2 == 0 ? connect() : answered_connection());
        if (i % 2 == 0) held.back()->send(half_header);
    }
    http_client client;
    EXPECT_EQ(client.request(host->url("/photo.jpg?w=100")).status, 200);
    // The half-sent ones are still waited for, not dropped to make room.
    EXPECT_EQ(held.front()->receive_until_closed(100ms), "");
    EXPECT_FALSE(held.front()->closed());
}

TEST_F(Front, SlowAndIdleClientsAreClosedAtTheirTimeouts) {
    start({"--header-timeout", "1", "--keep-alive-timeout", "1"});
    auto slow = connect();
    slow->send(half_header);
    auto idle = answered_connection();
    const std::string idle_before = idle->receive_until_closed(0ms);
    EXPECT_EQ(slow->receive_until_closed(patience), "");
    EXPECT_TRUE(slow->closed());
    EXPECT_EQ(idle->receive_until_closed(patience), idle_before);
    EXPECT_TRUE(idle->closed());
}

TEST_F(Front, AnOversizedHeaderGets431) {
    start({"--max-header-bytes", "1024"});
    auto connection = connect();
    connection->send(half_header + "X-Padding: " + std::string(2000, 'a') + "\r\n\r\n");
    EXPECT_EQ(connection->receive_until_closed(patience).rfind("HTTP/1.1 431 ", 0), 0u);
    EXPECT_TRUE(connection->closed());
    // Counted as an error, as the operator would look for it.
    EXPECT_NE(http_client()
                  .request(host->url("/metrics"))
                  .body.find("quorin_host_requests_total{outcome=\"error\"} 1"),
              std::string::npos);
}

TEST_F(Front, PipelinedRequestsAreAnsweredInOrder) {
    start({});
    auto connection = connect();
    connection->send(whole_request + "GET /missing.png HTTP/1.1\r\nHost: x\r\n\r\n" +
                     "HEAD /photo.jpg?w=10 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    const std::string answers = connection->receive_until_closed(patience);
    EXPECT_TRUE(connection->closed());
    const auto first = answers.find("HTTP/1.1 200 OK");
    const auto second = answers.find("HTTP/1.1 404 ");
    const auto third = answers.find("HTTP/1.1 200 OK", first + 1);
    ASSERT_NE(third, std::string::npos) << answers;
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_NE(answers.find("Connection: close", third), std::string::npos) << answers;
    // HEAD: the last header block is the end of everything sent.
    EXPECT_EQ(answers.find("\r\n\r\n", third) + 4, answers.size()) << answers;

    auto old_client = connect();
    old_client->send("GET /healthz HTTP/1.0\r\n\r\n");
    EXPECT_NE(old_client->receive_until_closed(patience).find("ok\n"), std::string::npos);
    EXPECT_TRUE(old_client->closed());
}

TEST_F(Front, PastTheConnectionLimitNewcomersAreClosed) {
    start({"--max-connections", "3"});
    std::vector<std::unique_ptr<raw_connection>> served;
    for (int i = 0; i < 3; ++i) served.push_back(answered_connection());
    auto newcomer = connect();
    newcomer->send(whole_request);
    EXPECT_EQ(newcomer->receive_until_closed(patience), "");
    EXPECT_TRUE(newcomer->closed());
    // The connections kept are still served.
    served.back()->send(whole_request);
    EXPECT_NE(
        served.back()->receive_until("ok\nHTTP/1.1 200 OK", patience).find("ok\nHTTP/1.1 200"),
        std::string::npos);
}

TEST_F(Front, LargeAnswersArriveWholeAtAnySpeedAndOnlySentBytesAreCounted) {
    start({});
    // 18 MB, far more than the socket buffers hold.
    const std::string query = "/photo.jpg?w=3000&h=2000&fit=fill&format=bmp";
    const std::string fast = http_client().request(host->url(query)).body;
    ASSERT_EQ(fast.size(), 3000u * 2000 * 3 + 54);

    // A client that reads nothing for a while, then everything.
    auto slow = connect();
    slow->send("GET " + query + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    std::this_thread::sleep_for(1500ms);
    const std::string answer = slow->receive_until_closed(patience);
    EXPECT_TRUE(slow->closed());
    EXPECT_EQ(answer.size() - answer.find("\r\n\r\n") - 4, fast.size());

    // One that leaves early is counted with what it was sent, not all.
    auto leaving = connect();
    leaving->send("GET " + query + " HTTP/1.1\r\nHost: x\r\n\r\n");
    leaving->receive_until("BM", patience);
    leaving.reset();
    std::this_thread::sleep_for(500ms);
    const std::string metrics = http_client().request(host->url("/metrics")).body;
    const std::string name = "\nquorin_host_response_body_bytes_total ";
    const auto counted = std::stoull(metrics.substr(metrics.find(name) + name.size()));
    EXPECT_GT(counted, 2 * fast.size());
    EXPECT_LT(counted, 3 * fast.size());
}

TEST_F(Front, HitsAreServedWhileTheOnlyConversionRunsAndSigtermLetsItFinish) {
    write_image(images / "large.png", 5000, 5000);
    start({"--threads", "1", "--conversions", "1", "--stop-timeout", "30"});
    http_client hit_client;
    ASSERT_EQ(hit_client.request(host->url("/photo.jpg?w=100")).status, 200);
    auto idle = answered_connection();
    auto in_flight = std::async(std::launch::async, [this] {
        return http_client().request(host->url("/large.png?w=300")).status;
    });
    // The conversion of 25 megapixels takes far longer than this.
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(hit_client.request(host->url("/photo.jpg?w=100")).status, 200);
    EXPECT_EQ(in_flight.wait_for(0s), std::future_status::timeout);

    EXPECT_EQ(host->stop(), 0);
    EXPECT_EQ(in_flight.get(), 200);
    idle->receive_until_closed(patience);
    EXPECT_TRUE(idle->closed());
}

} // namespace
} // namespace quorin::test
