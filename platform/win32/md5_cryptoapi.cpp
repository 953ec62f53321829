// MD5 through the CryptoAPI's default RSA provider.
#include <windows.h>
#include <wincrypt.h>

#include "platform/md5.h"

namespace quorin::platform {
namespace {

// A verification-only context: no key container is opened or created.
class crypt_context {
public:
    crypt_context() {
        if (!::CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_FULL,
                                    CRYPT_VERIFYCONTEXT | CRYPT_MACHINE_KEYSET)) {
            provider_ = 0;
        }
    }
    ~crypt_context() {
        if (provider_ != 0) ::CryptReleaseContext(provider_, 0);
    }
    crypt_context(const crypt_context&) = delete;
    crypt_context& operator=(const crypt_context&) = delete;
    HCRYPTPROV get() const { return provider_; }

private:
    HCRYPTPROV provider_ = 0;
};

class crypt_hash {
public:
    explicit crypt_hash(HCRYPTPROV provider) {
        if (provider == 0 || !::CryptCreateHash(provider, CALG_MD5, 0, 0, &hash_)) hash_ = 0;
    }
    ~crypt_hash() {
        if (hash_ != 0) ::CryptDestroyHash(hash_);
    }
    crypt_hash(const crypt_hash&) = delete;
    crypt_hash& operator=(const crypt_hash&) = delete;
    HCRYPTHASH get() const { return hash_; }

private:
    HCRYPTHASH hash_ = 0;
};

} // namespace

std::optional<md5_digest> md5(const void* data, std::size_t size) {
    if (size > MAXDWORD) return std::nullopt;
    // Declared in this order so that the hash is destroyed before the
    // context is released, on every path.
    const crypt_context context;
    const crypt_hash hash(context.get());
    if (hash.get() == 0) return std::nullopt;
    if (!::CryptHashData(hash.get(), static_cast<const BYTE*>(data), static_cast<DWORD>(size), 0)) {
        return std::nullopt;
    }
    md5_digest digest{};
    DWORD length = digest.size();
    if (!::CryptGetHashParam(hash.get(), HP_HASHVAL, digest.data(), &length, 0) ||
        length != digest.size()) {
        return std::nullopt;
    }
    return digest;
}

} // namespace quorin::platform
