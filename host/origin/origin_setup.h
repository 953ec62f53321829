// An origin's sources as the operator configured them: where, how they are
// kept and for how long they are trusted.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "origin/origin_client.h"
#include "origin/origin_sources.h"

namespace quorin::host {

struct origin_config {
    std::string origin; // http://, https:// or s3://BUCKET/PREFIX
    std::filesystem::path source_cache;
    std::uint64_t source_cache_bytes = std::uint64_t{1} << 30;
    origin_limits limits;
    freshness_rules rules;
    std::string s3_endpoint; // empty: the provider's own
    std::string s3_region = "us-east-1";
    bool s3_path_style = false;
    std::filesystem::path s3_credentials; // empty: from the environment
};

// The sources, or null with `error` set. The error never holds a key or a
// password.
std::unique_ptr<origin_sources> open_origin(const origin_config& config, std::string& error);

} // namespace quorin::host
