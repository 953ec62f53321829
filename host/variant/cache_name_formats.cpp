#include "variant/cache_name_formats.h"

#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

namespace quorin::host {
namespace {

// Looks a name up without copying it into a string.
struct name_hash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view name) const {
        return std::hash<std::u16string_view>{}(name);
    }
};

class name_formats {
public:
    void remember(std::u16string_view name, output_format format) {
        const std::lock_guard lock(mutex_);
        if (formats_.find(name) != formats_.end()) return;
        if (formats_.size() == kept_cache_names) formats_.clear();
        formats_.emplace(name, format);
    }

    std::optional<output_format> find(std::u16string_view name) {
        const std::lock_guard lock(mutex_);
        const auto found = formats_.find(name);
        if (found == formats_.end()) return std::nullopt;
        return found->second;
    }

private:
    std::mutex mutex_;
    std::unordered_map<std::u16string, output_format, name_hash, std::equal_to<>> formats_;
};

name_formats& made_names() {
    static name_formats names;
    return names;
}

} // namespace

std::u16string_view cache_name_in(std::u16string_view path) {
    const auto separator = path.find_last_of(u"/\\");
    return separator == std::u16string_view::npos ? path : path.substr(separator + 1);
}

void remember_cache_name(std::u16string_view name, output_format format) {
    made_names().remember(name, format);
}

std::optional<output_format> format_of_cache_name(std::u16string_view name) {
    return made_names().find(name);
}

} // namespace quorin::host
