// Images whose conversions a test can check byte for byte: the conversion of
// version V of image N is a byte string derived from (N, V) alone, and the
// source time of version V lies V whole seconds after a fixed base, so the
// Last-Modified line of an answer names the version it carries.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "trelvane_module.h"

namespace quorin::test {

// A PNG-typed byte string of a length between 60 bytes and about 20 KiB,
// some lengths exact multiples of 4096.
std::string conversion_of(int image, int version);

// Base + version seconds, plus a sub-second part that the equality test of
// the cache must match to the 100 ns.
FILETIME source_time_of(int version);

// The version whose source time is exactly `ticks`, or nullopt.
std::optional<int> version_at(std::uint64_t ticks);

// The version a header block's Last-Modified line names; nullopt when the
// line is missing or names no version.
std::optional<int> version_named_by(std::string_view header_block);

// The value of one header line ("Content-Length"), or nullopt.
std::optional<std::string> header_value(std::string_view header_block, std::string_view name);

// The current version of every image; touching one makes its source newer.
class image_versions {
public:
    explicit image_versions(int count);
    int count() const { return count_; }
    int current(int image) const { return versions_[image].load(std::memory_order_acquire); }
    void touch(int image) { versions_[image].fetch_add(1, std::memory_order_acq_rel); }

private:
    int count_;
    std::unique_ptr<std::atomic<int>[]> versions_;
};

// The cache key of image N: a Windows-style and a POSIX-style directory in
// front of a last element unique to N.
std::u16string key_of(int image);

} // namespace quorin::test
