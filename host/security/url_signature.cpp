#include "security/url_signature.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <vector>

#include "base/text.h"
#include "base/url_coding.h"

namespace quorin::host {
namespace {

bool is_signature(std::string_view parameter) {
    return parameter.size() > signature_parameter.size() &&
           parameter.substr(0, signature_parameter.size()) == signature_parameter &&
           parameter[signature_parameter.size()] == '=';
}

std::string base64url(const unsigned char* data, std::size_t size) {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string text;
    for (std::size_t i = 0; i < size; i += 3) {
        const std::uint32_t group = (std::uint32_t{data[i]} << 16) |
                                    (i + 1 < size ? std::uint32_t{data[i + 1]} << 8 : 0) |
                                    (i + 2 < size ? std::uint32_t{data[i + 2]} : 0);
        text.push_back(alphabet[(group >> 18) & 63]);
        text.push_back(alphabet[(group >> 12) & 63]);
        if (i + 1 < size) text.push_back(alphabet[(group >> 6) & 63]);
        if (i + 2 < size) text.push_back(alphabet[group & 63]);
    }
    return text;
}

} // namespace

std::string canonical_query(std::string_view query) {
    std::vector<std::string_view> parameters;
    for_each_field(query, '&', [&parameters](std::string_view parameter) {
        if (!is_signature(parameter)) parameters.push_back(parameter);
        return true;
    });
    std::sort(parameters.begin(), parameters.end());
    std::string text;
    for (const auto parameter : parameters) {
        if (!text.empty()) text += '&';
        text += parameter;
    }
    return text;
}

std::string url_signer::signature(std::string_view path, std::string_view query) const {
    const std::string message = std::string(path) + '?' + canonical_query(query);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), key_.data(), static_cast<int>(key_.size()),
         reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest, &length);
    return base64url(digest, length);
}

std::string url_signer::signed_query(std::string_view path, std::string_view query) const {
    std::string text = canonical_query(query);
    if (!text.empty()) text += '&';
    return text + std::string(signature_parameter) + '=' + signature(path, query);
}

bool url_signer::verify(std::string_view path, std::string_view query) const {
    // Exactly one: of several, which one counts would be up to whoever
    // reads the query next.
    std::string_view value;
    int found = 0;
    for_each_field(query, '&', [&](std::string_view parameter) {
        if (is_signature(parameter)) {
            value = parameter.substr(signature_parameter.size() + 1);
            ++found;
        }
        return true;
    });
    if (found != 1) return false;
    const std::string expected = signature(path, query);
    return value.size() == expected.size() &&
           CRYPTO_memcmp(value.data(), expected.data(), expected.size()) == 0;
}

std::optional<std::string> read_signing_key(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string key{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    while (!key.empty() && (key.back() == '\n' || key.back() == '\r')) key.pop_back();
    if (key.empty()) return std::nullopt;
    return key;
}

std::optional<std::string> signed_url(const url_signer& signer, std::string_view url) {
    const auto question = url.find('?');
    const std::string_view path = url.substr(0, question);
    const std::string_view query =
        question == std::string_view::npos ? std::string_view{} : url.substr(question + 1);
    // An absolute URL is signed for its path only.
    std::size_t path_start = 0;
    if (const auto scheme = path.find("://"); scheme != std::string_view::npos) {
        path_start = path.find('/', scheme + 3);
        if (path_start == std::string_view::npos) path_start = path.size();
    }
    // Decoded as the server decodes it: a path it would refuse is not signed.
    const auto server_path = percent_decode(path.substr(path_start), plus_sign::kept);
    if (!server_path) return std::nullopt;
    return std::string(path) + '?' + signer.signed_query(*server_path, query);
}

} // namespace quorin::host
