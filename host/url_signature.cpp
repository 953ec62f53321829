#include "url_signature.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <vector>

namespace quorin::host {
namespace {

std::vector<std::string_view> parameters_of(std::string_view query) {
    std::vector<std::string_view> parameters;
    while (!query.empty()) {
        const auto amp = query.find('&');
        const std::string_view parameter = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
        if (!parameter.empty()) parameters.push_back(parameter);
    }
    return parameters;
}

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

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percent_decoded(std::string_view text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
            hex_value(text[i + 2]) >= 0) {
            result.push_back(
                static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2])));
            i += 2;
        } else {
            result.push_back(text[i]);
        }
    }
    return result;
}

} // namespace

std::string canonical_query(std::string_view query) {
    auto parameters = parameters_of(query);
    std::erase_if(parameters, is_signature);
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
    const auto parameters = parameters_of(query);
    // Exactly one: of several, which one counts would be up to whoever
    // reads the query next.
    if (std::count_if(parameters.begin(), parameters.end(), is_signature) != 1) return false;
    const auto given = std::find_if(parameters.begin(), parameters.end(), is_signature);
    const std::string_view value = given->substr(signature_parameter.size() + 1);
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

std::string signed_url(const url_signer& signer, std::string_view url) {
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
    const std::string server_path = percent_decoded(path.substr(path_start));
    return std::string(path) + '?' + signer.signed_query(server_path, query);
}

} // namespace quorin::host
