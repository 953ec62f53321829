#include "security/source_lookup.h"

#include <algorithm>

namespace quorin::host {
namespace {

// Opens `relative` below the root in the one call that refuses links and
// every way out, and keeps it when it is a regular file. The file's time
// comes from the open file, so that the time and the bytes decoded later
// are those of one file, whatever is renamed over its path meanwhile.
bool open_confined(const source_root& root, const std::string& relative, source_lookup& lookup) {
    if (root.directory() == nullptr) return false;
    auto opened = os::read_only_file::open_beneath(*root.directory(), relative);
    const auto identity = opened ? opened->identity_if_regular() : std::nullopt;
    if (!identity) return false;
    lookup.outcome = source_lookup::result::found;
    lookup.relative = relative;
    lookup.modified = os::modified_time(*identity);
    lookup.identity = *identity;
    lookup.opened = std::move(opened);
    return true;
}

} // namespace

bool lies_within(const std::filesystem::path& root, const std::filesystem::path& path) {
    const auto [root_end, path_end] =
        std::mismatch(root.begin(), root.end(), path.begin(), path.end());
    return root_end == root.end();
}

source_root::source_root(std::filesystem::path canonical)
    : path_(std::move(canonical)), directory_(os::read_only_file::open(path_.string())) {}

std::optional<os::file_identity> source_root::remembered(const std::string& relative) const {
    return found_.find(relative);
}

void source_root::remember(const std::string& relative, const os::file_identity& found) const {
    found_.remember(relative, found);
}

bool open_found(const source_root& root, source_lookup& lookup) {
    const std::string relative = std::move(lookup.relative);
    lookup = {};
    return open_confined(root, relative, lookup);
}

std::optional<std::string> relative_path_of(std::string_view url_path,
                                            source_lookup::result& refused) {
    // Kept as text: a std::filesystem::path costs a parse and an
    // allocation for each element, on every request.
    std::string relative;
    relative.reserve(url_path.size());
    std::size_t start = 0;
    while (start <= url_path.size()) {
        const auto end = std::min(url_path.find('/', start), url_path.size());
        const std::string_view element = url_path.substr(start, end - start);
        if (element == "..") {
            refused = source_lookup::result::escapes;
            return std::nullopt;
        }
        // A NUL would cut the path short in the C library's calls.
        if (element.find('\0') != std::string_view::npos) {
            refused = source_lookup::result::missing;
            return std::nullopt;
        }
        if (!element.empty() && element != ".") {
            if (!relative.empty()) relative += '/';
            relative += element;
        }
        start = end + 1;
    }
    refused = source_lookup::result::missing;
    if (relative.empty()) return std::nullopt;
    return relative;
}

source_lookup find_source(const source_root& root, std::string_view url_path) {
    source_lookup lookup;
    auto named = relative_path_of(url_path, lookup.outcome);
    if (!named) return lookup;
    std::string& relative = *named;

    // Seen before: unchanged, it needs no open.
    if (const auto known = root.remembered(relative);
        known && root.directory() != nullptr &&
        root.directory()->identity_beneath(relative) == known) {
        lookup.outcome = source_lookup::result::found;
        lookup.relative = std::move(relative);
        lookup.modified = os::modified_time(*known);
        lookup.identity = *known;
        return lookup;
    }

    // The common case: no link on the way, so the path as written is the
    // canonical one.
    if (open_confined(root, relative, lookup)) {
        root.remember(relative, lookup.identity);
        return lookup;
    }

    // Links, or anything else the one call refused: every link resolved,
    // the result must still lie inside, and is then opened the same
    // confined way. A link swapped in after the resolving is refused there.
    std::error_code error;
    const auto file = std::filesystem::canonical(root.path() / relative, error);
    if (error) return lookup;
    if (!lies_within(root.path(), file)) {
        lookup.outcome = source_lookup::result::escapes;
        return lookup;
    }
    open_confined(root, file.lexically_relative(root.path()).generic_string(), lookup);
    return lookup;
}

} // namespace quorin::host
