// Asks the origin for sources with libcurl. Handles are pooled, so that
// connections (and TLS sessions) are reused across requests; every fetch
// is bounded in time and bytes, follows redirects only within the origin,
// and verifies HTTPS certificates against the system's store.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "origin/origin_counters.h"
#include "origin/origin_fetch.h"
#include "origin/origin_location.h"

namespace quorin::host {

struct origin_limits {
    std::chrono::seconds timeout{10};
    std::uint64_t max_bytes = std::uint64_t{64} << 20;
};

class origin_client {
public:
    origin_client(origin_location origin, origin_limits limits);
    ~origin_client();
    origin_client(const origin_client&) = delete;
    origin_client& operator=(const origin_client&) = delete;

    // GETs `relative`, conditional on `known` when it holds a validator;
    // the body of a 200 goes to `body_file`, created or replaced (and left
    // incomplete on any other result). Waits for the answer.
    fetch_outcome fetch(const std::filesystem::path& relative, const version_tags& known,
                        const std::filesystem::path& body_file);

    const origin_location& location() const { return origin_; }
    origin_counters& counters() { return counters_; }
    const origin_counters& counters() const { return counters_; }

private:
    struct shared_state;
    void* take_handle();
    void give_back(void* handle);

    origin_location origin_;
    origin_limits limits_;
    std::unique_ptr<shared_state> shared_;
    std::mutex mutex_;
    std::vector<void*> idle_; // under mutex_
    origin_counters counters_;
};

} // namespace quorin::host
