// The boxes an operator allows (--sizes 160x160,320x240): with a list, any
// other box is refused, so that the cache holds a bounded set of sizes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorin::host {

class allowed_sizes {
public:
    // Empty when `list` is not WxH[,WxH...] with sides from 1 to
    // max_dimension.
    static std::optional<allowed_sizes> parse(std::string_view list);

    // A request without w and h asks for no box and is always allowed.
    bool allows(std::optional<int> width, std::optional<int> height) const;

    // "160x160, 320x240", for the refusal.
    std::string listing() const;

private:
    std::vector<std::pair<int, int>> boxes_;
};

} // namespace quorin::host
