#include "host/source_lookup.h"

#include <algorithm>

#include "platform/host/file_status.h"

namespace quorin::host {

bool lies_within(const std::filesystem::path& root, const std::filesystem::path& path) {
    const auto [root_end, path_end] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
    return root_end == root.end();
}

source_lookup find_source(const std::filesystem::path& images_root, std::string_view url_path) {
    source_lookup lookup;
    std::filesystem::path relative;
    std::size_t start = 0;
    while (start <= url_path.size()) {
        const auto end = std::min(url_path.find('/', start), url_path.size());
        const std::string_view element = url_path.substr(start, end - start);
        if (element == "..") {
            lookup.outcome = source_lookup::result::escapes;
            return lookup;
        }
        // A NUL would cut the path short in the C library's calls.
        if (element.find('\0') != std::string_view::npos) return lookup;
        if (!element.empty() && element != ".") relative /= std::string(element);
        start = end + 1;
    }
    if (relative.empty()) return lookup;

    std::error_code error;
    const auto file = std::filesystem::canonical(images_root / relative, error);
    if (error) return lookup;
    if (!lies_within(images_root, file)) {
        lookup.outcome = source_lookup::result::escapes;
        return lookup;
    }
    const auto modified = platform::regular_file_modified(file);
    if (!modified) return lookup;
    lookup.outcome = source_lookup::result::found;
    lookup.modified = *modified;
    lookup.file = file;
    lookup.relative = file.lexically_relative(images_root);
    return lookup;
}

} // namespace quorin::host
