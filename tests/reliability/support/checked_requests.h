// Requests through the module's entries with a converter whose every answer
// is checked: either S_OK with one "200 OK" header block whose
// Content-Length equals the body bytes sent and a body byte-identical to the
// conversion of the version that Last-Modified names, or E_FAIL with
// nothing sent.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "trelvane_module.h"

namespace quorin::test {

struct request_plan {
    int image = 0;
    int version = 0;
    std::optional<std::u16string> key; // keyed plans: the key, else key_of(image)
    bool keyed = true;                 // false: answered directly from memory, nothing stored
    bool timed = true;                 // direct answers only: whether the converter gives a time
    bool head = false;                 // HEAD instead of GET
};

struct request_outcome {
    bool answered = false;   // S_OK: an answer reached the client
    bool from_cache = false; // answered by OutputFromCache without converting
    std::string violation;   // empty when the invariant held
};

// Fills the module's next slots with the checking converter, and its
// image-library slot with the fake library, while it lives.
class checking_converter {
public:
    checking_converter();
    ~checking_converter();
    checking_converter(const checking_converter&) = delete;
    checking_converter& operator=(const checking_converter&) = delete;

private:
    OnConvertNext_t previous_next_;
    OnConvertWithTimeNext_t previous_with_time_next_;
    FreeImageFunction* previous_library_;
};

// Keyed plans enter through OnConvert, direct ones through OnConvertWithTime.
request_outcome run_checked_request(const request_plan& plan);

// Counts of a run, safe to add to from many threads.
struct answer_tally {
    std::atomic<std::uint64_t> checked{0};
    std::atomic<std::uint64_t> answered{0};
    std::atomic<std::uint64_t> from_cache{0};
    std::atomic<std::uint64_t> refused{0};

    void add(const request_outcome& outcome);
    std::vector<std::string> violations() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> violations_;
};

} // namespace quorin::test
