#include "security/allowed_sizes.h"

#include "variant/request_parameters.h"

#include <algorithm>
#include <charconv>

namespace quorin::host {
namespace {

std::optional<int> side(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty() ||
        text.front() == '-' || value < 1 || value > max_dimension)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<allowed_sizes> allowed_sizes::parse(std::string_view list) {
    allowed_sizes sizes;
    // Every element between commas must be a box, the last one too.
    for (;;) {
        const auto comma = list.find(',');
        const std::string_view box = list.substr(0, comma);
        const auto x = box.find('x');
        if (x == std::string_view::npos) return std::nullopt;
        const auto width = side(box.substr(0, x));
        const auto height = side(box.substr(x + 1));
        if (!width || !height) return std::nullopt;
        sizes.boxes_.emplace_back(*width, *height);
        if (comma == std::string_view::npos) return sizes;
        list.remove_prefix(comma + 1);
    }
}

bool allowed_sizes::allows(std::optional<int> width, std::optional<int> height) const {
    if (!width && !height) return true;
    if (!width || !height) return false;
    return std::find(boxes_.begin(), boxes_.end(), std::pair{*width, *height}) != boxes_.end();
}

std::string allowed_sizes::listing() const {
    std::string text;
    for (const auto& [width, height] : boxes_) {
        if (!text.empty()) text += ", ";
        text += std::to_string(width) + 'x' + std::to_string(height);
    }
    return text;
}

} // namespace quorin::host
