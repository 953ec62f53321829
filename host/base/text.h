// Splitting and trimming of header and query text, without copies.
#pragma once

#include <string_view>

namespace quorin::host {

// `text` without the spaces and tabs around it.
constexpr std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Whether `a` and `b` are the same text when ASCII letters' case is
// ignored, as header names and tokens are compared.
constexpr bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Calls `visit` with each non-empty field of `text` between `separator`s,
// in order, until it returns false. False when a visit stopped it.
template <typename Visit>
bool for_each_field(std::string_view text, char separator, Visit&& visit) {
    while (!text.empty()) {
        const auto end = text.find(separator);
        const std::string_view field = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!field.empty() && !visit(field)) return false;
    }
    return true;
}

} // namespace quorin::host
