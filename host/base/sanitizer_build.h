// Whether this build runs under ASan or TSan, whose runtimes reserve
// terabytes of address space up front.
#pragma once

namespace quorin::host {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool sanitizer_build = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool sanitizer_build = true;
#else
inline constexpr bool sanitizer_build = false;
#endif
#else
inline constexpr bool sanitizer_build = false;
#endif

} // namespace quorin::host
