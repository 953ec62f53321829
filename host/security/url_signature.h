// Signed image URLs: with a signing key, only URLs that carry the
// HMAC-SHA256 of their path and canonical query are converted, so that
// nobody without the key can make the cache store new variants.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quorin::host {

// The query parameter that carries the signature.
inline constexpr std::string_view signature_parameter = "sig";

// The query's parameters without the signature, sorted and joined by '&',
// so that their order does not change what is signed.
std::string canonical_query(std::string_view query);

class url_signer {
public:
    explicit url_signer(std::string key) : key_(std::move(key)) {}

    // base64url (no padding) of HMAC-SHA256 over path, '?' and the
    // canonical query; `path` decoded, as the server sees it.
    std::string signature(std::string_view path, std::string_view query) const;

    // The canonical query with the signature appended.
    std::string signed_query(std::string_view path, std::string_view query) const;

    // True when the query carries one signature, the one for path and
    // query; compared in constant time.
    bool verify(std::string_view path, std::string_view query) const;

private:
    std::string key_;
};

// The key file's contents without a trailing line end; empty when the
// file cannot be read or holds no key.
std::optional<std::string> read_signing_key(const std::filesystem::path& file);

// "/a%20b.jpg?w=1" becomes "/a%20b.jpg?w=1&sig=..." signed for "/a b.jpg";
// nullopt when the path holds a malformed %-escape, which no request can
// carry.
std::optional<std::string> signed_url(const url_signer& signer, std::string_view url);

} // namespace quorin::host
