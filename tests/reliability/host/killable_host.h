// quorin-host on a free 127.0.0.1 port, quiet, that a test can end at any
// moment with SIGKILL.
#pragma once

#include <string>
#include <vector>

#include "support/child_process.h"

namespace quorin::test {

class killable_host {
public:
    // Starts quorin-host with `arguments` and waits until it serves; throws
    // when it does not.
    explicit killable_host(std::vector<std::string> arguments);
    killable_host(const killable_host&) = delete;
    killable_host& operator=(const killable_host&) = delete;

    std::string url(const std::string& path_and_query) const;
    void kill() { process_.kill(); }

private:
    child_process process_;
    int port_ = 0;
};

} // namespace quorin::test
