// The platform's cryptographic service, used only for a standard MD5 digest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace quorin::platform {

using md5_digest = std::array<std::uint8_t, 16>;

// Digest of the bytes; nothing when the service fails.
std::optional<md5_digest> md5(const void* data, std::size_t size);

} // namespace quorin::platform
