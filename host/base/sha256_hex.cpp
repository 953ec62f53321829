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

// Kept for the thread's next digest: a context made for each one costs
// two allocations and their release.
EVP_MD_CTX* thread_context() {
    thread_local const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(
        EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    return context.get();
}

} // namespace

void append_sha256_hex(std::string& out, std::string_view text, std::size_t digits) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_MD_CTX* context = thread_context();
    if (context == nullptr || EVP_DigestInit_ex2(context, sha256_algorithm(), nullptr) != 1 ||
        EVP_DigestUpdate(context, text.data(), text.size()) != 1 ||
        EVP_DigestFinal_ex(context, digest, &length) != 1) {
        length = 0;
    }
    for (std::size_t i = 0; i < std::min<std::size_t>(digits / 2, length); ++i) {
        out += lower_hex_digit(digest[i] >> 4);
        out += lower_hex_digit(digest[i]);
    }
}

} // namespace quorin::host
