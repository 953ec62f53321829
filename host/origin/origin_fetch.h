// One conditional fetch of a source from the origin, and what came of it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace quorin::host {

// The validators of a version: what the origin said identifies it.
struct version_tags {
    std::string etag;          // empty: none given
    std::string last_modified; // the origin's HTTP date as given; empty: none
    friend bool operator==(const version_tags&, const version_tags&) = default;
};

enum class fetch_result {
    fetched,          // 200: the body is in the file
    not_modified,     // 304: the version asked about is current
    missing,          // 404 or 410
    too_large,        // past the byte limit, by its length or its bytes
    failed,           // any other answer, a refused connection, a body cut short
    timed_out,        // no whole answer within the time-out
    redirect_refused, // a redirect to another origin
};
inline constexpr std::size_t fetch_result_count = 7;

struct fetch_outcome {
    fetch_result result = fetch_result::failed;
    version_tags tags;       // of the answer, when fetched or not modified
    std::uint64_t bytes = 0; // body bytes written, when fetched
};

} // namespace quorin::host
