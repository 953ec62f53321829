// Conversions in worker processes, as a client and an operator see them: a
// conversion past its time, a worker killed while it converts, and a stop
// that cuts a long conversion off. Each test runs its own host.
#include <atomic>
#include <csignal>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <regex>
#include <sstream>

#include "support/end_to_end.h"
#include "support/host_process.h"
#include "support/http_client.h"
#include "support/temp_dir.h"

namespace quorin::test {
namespace {

using namespace std::chrono_literals;
using clock = std::chrono::steady_clock;

// 9 megapixels stretched to 67 and encoded as PNG: seconds of work, from a
// source that is quick to write.
const std::string long_conversion = "/large.bmp?w=8192&h=8192&fit=fill&format=png";
const std::string short_conversion = "/photo.jpg?w=100";

// Clock ticks of processor time the process has used; 0 once it is gone.
long cpu_ticks(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), {});
    if (text.empty()) return 0;
    // After the name in parentheses: state, then fields 4 to 15, of which
    // the last two are the user and system times.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skipped;
    for (int field = 3; field < 14; ++field) fields >> skipped;
    long user = 0, system = 0;
    fields >> user >> system;
    return user + system;
}

// Whether the process has ended: gone, or a zombie left to be reaped.
bool ended(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), {});
    return text.empty() || text.substr(text.rfind(')') + 2, 1) == "Z";
}

// Waits until the worker has worked for a fifth of a second: it converts.
bool converting(int pid) {
    const long before = cpu_ticks(pid);
    const auto deadline = clock::now() + 30s;
    while (cpu_ticks(pid) < before + 20 && clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    return cpu_ticks(pid) >= before + 20;
}

class ConversionWorkers : public ::testing::Test {
protected:
    ConversionWorkers() {
        std::filesystem::create_directories(images);
        write_image(images / "photo.jpg", 800, 600);
        write_image(images / "large.bmp", 3000, 3000);
    }

    void start(std::vector<std::string> extra) {
        const auto module = install_module(dir.path() / "module", "cache");
        std::filesystem::create_directories(module.parent_path() / "cache");
        std::vector<std::string> arguments{"--images", images.string(), "--module", module.string(),
                                           "--quiet",  "--conversions", "1"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        host = std::make_unique<host_process>(arguments);
    }

    // The workers started so far, from the log, oldest first.
    std::vector<int> worker_pids() const {
        static const std::regex started("conversion worker ([0-9]+) started");
        std::vector<int> pids;
        host->count_lines([&pids](const std::string& line) {
            std::smatch match;
            if (std::regex_search(line, match, started)) pids.push_back(std::stoi(match[1]));
            return false;
        });
        return pids;
    }

    std::future<long> request_in_background(const std::string& target) {
        return std::async(std::launch::async, [this, target] {
            try {
                return http_client().request(host->url(target)).status;
            } catch (const std::runtime_error&) {
                return 0L; // cut off without an answer
            }
        });
    }

    temp_dir dir;
    std::filesystem::path images = dir.path() / "images";
    std::unique_ptr<host_process> host;
};

TEST_F(ConversionWorkers, AConversionPastItsTimeGets504AndTheNextRunsAtOnce) {
    start({"--conversion-timeout", "1"});
    const auto asked = clock::now();
    const http_response late = http_client().request(host->url(long_conversion));
    EXPECT_LT(clock::now() - asked, 5s);
    EXPECT_EQ(late.status, 504);
    EXPECT_EQ(late.header("cache-control"), "no-store");
    // The only slot is free again, with a fresh worker in it.
    EXPECT_EQ(http_client().request(host->url(short_conversion)).status, 200);
    EXPECT_EQ(worker_pids().size(), 2u);
    EXPECT_NE(http_client()
                  .request(host->url("/metrics"))
                  .body.find("quorin_host_refusals_total{status=\"504\",cause=\"timeout\"} 1\n"),
              std::string::npos);
}

TEST_F(ConversionWorkers, AWorkerKilledWhileConvertingCostsOnlyThatRequest) {
    start({});
    const int worker = worker_pids().at(0);
    auto in_flight = request_in_background(long_conversion);
    ASSERT_TRUE(converting(worker));
    ASSERT_EQ(::kill(worker, SIGKILL), 0);
    EXPECT_EQ(in_flight.get(), 500);
    EXPECT_TRUE(host->wait_for_line([&](const std::string& line) {
        return line.find("conversion worker " + std::to_string(worker) + " lost") !=
               std::string::npos;
    }));
    EXPECT_EQ(http_client().request(host->url(short_conversion)).status, 200);
    EXPECT_EQ(worker_pids().size(), 2u);
}

TEST_F(ConversionWorkers, SigtermCutsALongConversionOffAtTheStopTimeout) {
    start({"--stop-timeout", "2"});
    const int worker = worker_pids().at(0);
    http_client().request(host->url(short_conversion));
    std::atomic<bool> signal_sent{false};
    // Hits on one kept connection meanwhile: each whole until the server
    // stops answering; the first other answer, or -1 for a failure before
    // the signal.
    auto hits = std::async(std::launch::async, [&] {
        http_client client;
        for (int i = 0; i < 20'000; ++i) {
            try {
                const long status = client.request(host->url(short_conversion)).status;
                if (status != 200) return status;
            } catch (const std::runtime_error&) {
                return signal_sent ? 200L : -1L;
            }
        }
        return 200L;
    });
    auto in_flight = request_in_background(long_conversion);
    ASSERT_TRUE(converting(worker));
    const auto signalled = clock::now();
    signal_sent = true;
    host->send_signal(SIGTERM);
    EXPECT_EQ(host->wait_for_exit(10'000ms), 0);
    EXPECT_LT(clock::now() - signalled, 3s);
    EXPECT_NE(in_flight.get(), 200);
    EXPECT_EQ(hits.get(), 200);
    // Killed by the server, not left running. It may still be freeing its
    // memory: the server does not wait for that.
    const auto deadline = clock::now() + 10s;
    while (!ended(worker) && clock::now() < deadline) std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(ended(worker));
}

} // namespace
} // namespace quorin::test
