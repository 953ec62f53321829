// Which answer a request's method gets: only the first 3 characters are
// compared with "GET", else the first 4 with "HEAD".
#pragma once

#include <cstring>

namespace quorin {

enum class request_method { get, head, other };

inline request_method classify_method(const char* method) {
    if (method == nullptr) return request_method::other;
    if (std::strncmp(method, "GET", 3) == 0) return request_method::get;
    if (std::strncmp(method, "HEAD", 4) == 0) return request_method::head;
    return request_method::other;
}

} // namespace quorin
