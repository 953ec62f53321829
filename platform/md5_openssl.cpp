#include <openssl/evp.h>

#include "platform/md5.h"

namespace quorin::platform {

std::optional<md5_digest> md5(const void* data, std::size_t size) {
    md5_digest digest{};
    unsigned int length = 0;
    if (EVP_Digest(data, size, digest.data(), &length, EVP_md5(), nullptr) != 1 ||
        length != digest.size()) {
        return std::nullopt;
    }
    return digest;
}

} // namespace quorin::platform
