#include "base/sha256_hex.h"

#include <algorithm>
#include <memory>
#include <openssl/evp.h>

#include "base/hex_digit.h"

namespace quorin::host {
namespace {

// Fetched from the provider once: EVP_sha256() would fetch it again, under
// the library's locks, for every digest of every request.
const EVP_MD* sha256_algorithm() {
    static const std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> algorithm(
        EVP_MD_fetch(nullptr, "SHA256", nullptr), &EVP_MD_free);
    return algorithm.get();
}

} // namespace

std::string sha256_hex(std::string_view text, std::size_t digits) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &length, sha256_algorithm(), nullptr) != 1)
        length = 0;
    std::string hex;
    for (std::size_t i = 0; i < std::min<std::size_t>(digits / 2, length); ++i) {
        hex.push_back(lower_hex_digit(digest[i] >> 4));
        hex.push_back(lower_hex_digit(digest[i]));
    }
    return hex;
}

} // namespace quorin::host
