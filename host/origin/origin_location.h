// Where the origin is: the base URL every source path is appended to, the
// credentials it is asked with, and for a bucket how requests are signed.
// Only the operator names it; a request adds a path, escaped so that it can
// never name another host.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quorin::host {

// Keys of a bucket's account, as the signature needs them.
struct bucket_credentials {
    std::string access_key;
    std::string secret_key;
    std::string session_token; // empty: none
};

struct origin_location {
    std::string base; // scheme://host[:port][/prefix], no trailing '/', no credentials
    std::string user; // for the URL's user name and password; empty: none
    std::string password;
    std::string region; // set: a bucket, requests signed for this region
    bucket_credentials keys;

    // For messages: the base, which never holds credentials.
    const std::string& shown() const { return base; }
};

// An http:// or https:// URL; nullopt with `error` set otherwise.
std::optional<origin_location> http_origin(std::string_view url, std::string& error);

struct bucket_address {
    std::string bucket_and_prefix; // "BUCKET[/PREFIX]", from s3://BUCKET/PREFIX
    std::string endpoint;          // empty: the provider's own for the region
    std::string region;
    bool path_style = false;
};

// A bucket with its keys; nullopt with `error` set when the address is not one.
std::optional<origin_location> bucket_origin(const bucket_address& address, bucket_credentials keys,
                                             std::string& error);

// The URL of the source `relative` (already confined: no "..").
std::string source_url(const origin_location& origin, const std::filesystem::path& relative);

// Whether `url` has the origin's scheme, host and port: the only place a
// redirect may lead.
bool same_origin(const origin_location& origin, std::string_view url);

} // namespace quorin::host
