#include <openssl/evp.h>

#include "platform/md5.h"

namespace quorin::platform {
namespace {

// The algorithm is fetched from the provider once: EVP_md5() would fetch it
// again, under the library's locks, for every digest.
class md5_algorithm {
public:
    md5_algorithm() : algorithm_(EVP_MD_fetch(nullptr, "MD5", nullptr)) {}
    ~md5_algorithm() { EVP_MD_free(algorithm_); }
    md5_algorithm(const md5_algorithm&) = delete;
    md5_algorithm& operator=(const md5_algorithm&) = delete;
    const EVP_MD* get() const { return algorithm_; }

private:
    EVP_MD* algorithm_;
};

} // namespace

std::optional<md5_digest> md5(const void* data, std::size_t size) {
    static const md5_algorithm algorithm;
    md5_digest digest{};
    unsigned int length = 0;
    if (algorithm.get() == nullptr ||
        EVP_Digest(data, size, digest.data(), &length, algorithm.get(), nullptr) != 1 ||
        length != digest.size()) {
        return std::nullopt;
    }
    return digest;
}

} // namespace quorin::platform
