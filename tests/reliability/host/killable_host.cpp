#include "killable_host.h"

#include <stdexcept>

namespace quorin::test {
namespace {

std::vector<std::string> with_listen_address(std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"--listen", "127.0.0.1:0", "--quiet"});
    return arguments;
}

} // namespace

killable_host::killable_host(std::vector<std::string> arguments)
    : process_(QUORIN_HOST_PATH, with_listen_address(std::move(arguments))) {
    const std::string marker = " at http://127.0.0.1:";
    std::string output;
    while (const auto line = process_.read_line(std::chrono::seconds(30))) {
        const auto found = line->find(marker);
        if (found != std::string::npos) {
            port_ = std::stoi(line->substr(found + marker.size()));
            return;
        }
        output += *line + "\n";
    }
    process_.kill();
    throw std::runtime_error("quorin-host did not start:\n" + output);
}

std::string killable_host::url(const std::string& path_and_query) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path_and_query;
}

} // namespace quorin::test
