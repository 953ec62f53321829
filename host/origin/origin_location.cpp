#include "origin/origin_location.h"

#include <algorithm>
#include <cctype>
#include <curl/curl.h>
#include <memory>

#include "base/url_coding.h"

namespace quorin::host {
namespace {

struct url_deleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using parsed_url = std::unique_ptr<CURLU, url_deleter>;

parsed_url parse(std::string_view text) {
    parsed_url url(curl_url());
    if (!url) return nullptr;
    const std::string copy(text);
    if (curl_url_set(url.get(), CURLUPART_URL, copy.c_str(), 0) != CURLUE_OK) return nullptr;
    return url;
}

std::string part(const parsed_url& url, CURLUPart which, unsigned flags = 0) {
    char* value = nullptr;
    if (curl_url_get(url.get(), which, &value, flags) != CURLUE_OK || value == nullptr) return {};
    std::string text(value);
    curl_free(value);
    return text;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Scheme, host and port, the port spelt out even where it is the default.
std::string authority_of(const parsed_url& url) {
    return lower(part(url, CURLUPART_SCHEME)) + "://" + lower(part(url, CURLUPART_HOST)) + ":" +
           part(url, CURLUPART_PORT, CURLU_DEFAULT_PORT);
}

std::string without_trailing_slashes(std::string text) {
    while (!text.empty() && text.back() == '/') text.pop_back();
    return text;
}

} // namespace

std::optional<origin_location> http_origin(std::string_view url, std::string& error) {
    const auto parsed = parse(url);
    const std::string scheme = parsed ? lower(part(parsed, CURLUPART_SCHEME)) : std::string();
    if (scheme != "http" && scheme != "https") {
        error = "--origin takes an http://, https:// or s3:// URL";
        return std::nullopt;
    }
    if (!part(parsed, CURLUPART_QUERY).empty() || !part(parsed, CURLUPART_FRAGMENT).empty()) {
        error = "--origin takes a URL without a query or fragment";
        return std::nullopt;
    }
    origin_location origin;
    // Kept apart, so that the URL never carries them into a message.
    origin.user = part(parsed, CURLUPART_USER, CURLU_URLDECODE);
    origin.password = part(parsed, CURLUPART_PASSWORD, CURLU_URLDECODE);
    curl_url_set(parsed.get(), CURLUPART_USER, nullptr, 0);
    curl_url_set(parsed.get(), CURLUPART_PASSWORD, nullptr, 0);
    origin.base = without_trailing_slashes(part(parsed, CURLUPART_URL));
    return origin;
}

std::optional<origin_location> bucket_origin(const bucket_address& address, bucket_credentials keys,
                                             std::string& error) {
    const auto slash = address.bucket_and_prefix.find('/');
    const std::string bucket = address.bucket_and_prefix.substr(0, slash);
    const std::string prefix = without_trailing_slashes(
        slash == std::string::npos ? std::string() : address.bucket_and_prefix.substr(slash));
    const bool bucket_ok =
        !bucket.empty() && std::all_of(bucket.begin(), bucket.end(), [](unsigned char c) {
            return std::islower(c) || std::isdigit(c) || c == '-' || c == '.';
        });
    if (!bucket_ok) {
        error = "s3:// takes a bucket name of lower-case letters, digits, '-' and '.'";
        return std::nullopt;
    }
    if (keys.access_key.empty() || keys.secret_key.empty()) {
        error = "s3:// needs AWS_ACCESS_KEY_ID and AWS_SECRET_ACCESS_KEY, or --s3-credentials FILE";
        return std::nullopt;
    }
    const std::string endpoint = address.endpoint.empty()
                                     ? "https://s3." + address.region + ".amazonaws.com"
                                     : without_trailing_slashes(address.endpoint);
    auto origin = http_origin(endpoint, error);
    if (!origin) {
        error = "--s3-endpoint takes an http:// or https:// URL";
        return std::nullopt;
    }
    if (address.path_style) {
        origin->base += "/" + bucket + url_path(prefix.empty() ? "" : prefix.substr(1));
    } else {
        const auto parsed = parse(origin->base);
        const std::string host = bucket + "." + part(parsed, CURLUPART_HOST);
        curl_url_set(parsed.get(), CURLUPART_HOST, host.c_str(), 0);
        origin->base = without_trailing_slashes(part(parsed, CURLUPART_URL)) +
                       url_path(prefix.empty() ? "" : prefix.substr(1));
    }
    origin->region = address.region;
    origin->keys = std::move(keys);
    return origin;
}

std::string source_url(const origin_location& origin, const std::filesystem::path& relative) {
    return origin.base + url_path(relative);
}

bool same_origin(const origin_location& origin, std::string_view url) {
    const auto target = parse(url);
    const auto base = parse(origin.base);
    return target && base && authority_of(target) == authority_of(base);
}

} // namespace quorin::host
