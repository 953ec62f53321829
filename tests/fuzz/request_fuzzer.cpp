// The host's reading of a request target ("/path?query"): finding the source
// image, parsing the parameters and naming the cache entry. Whatever the
// bytes, nothing crashes, a found source lies inside the images directory,
// parameters stay in their ranges, and the cache name is one plain file name.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string_view>
#include <variant>

#include "security/source_lookup.h"
#include "variant/cache_key.h"
#include "variant/request_parameters.h"

namespace {

namespace fs = std::filesystem;

// An images directory with a file, a subdirectory and links that lead out
// of it and into it, made once per fuzzing process and removed at its exit.
struct images_directory {
    fs::path base = fs::temp_directory_path() /
                    ("quorin-request-fuzz-" + std::to_string(std::random_device{}()));
    fs::path root;

    images_directory() {
        fs::create_directories(base / "images" / "dir");
        for (const char* name : {"images/a.png", "images/dir/b.png", "secret.png"}) {
            std::FILE* file = std::fopen((base / name).c_str(), "wb");
            if (file != nullptr) std::fclose(file);
        }
        fs::create_symlink(base / "secret.png", base / "images" / "out.png");
        fs::create_directory_symlink(base, base / "images" / "up");
        fs::create_symlink("dir/b.png", base / "images" / "in.png");
        root = fs::canonical(base / "images");
    }
    ~images_directory() {
        std::error_code ignored;
        fs::remove_all(base, ignored);
    }
};

const fs::path& images_root() {
    static const images_directory directory;
    return directory.root;
}

const quorin::host::source_root& sources() {
    static const quorin::host::source_root root(images_root());
    return root;
}

void require(bool condition) {
    if (!condition) __builtin_trap();
}

void check_parameters(const quorin::host::conversion_parameters& parameters) {
    using quorin::host::max_dimension;
    require(!parameters.width || (*parameters.width >= 1 && *parameters.width <= max_dimension));
    require(!parameters.height || (*parameters.height >= 1 && *parameters.height <= max_dimension));
    require(parameters.quality >= 1 && parameters.quality <= 100);
}

void check_cache_key(const std::u16string& key) {
    const auto separator = key.find_last_of(u"\\/");
    const std::u16string_view name = separator == std::u16string::npos
                                         ? std::u16string_view(key)
                                         : std::u16string_view(key).substr(separator + 1);
    require(!name.empty() && name != u"." && name != u"..");
    require(name.size() <= 255);
    for (const char16_t unit : name) require(unit >= 0x20 && unit != 0x7F);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorin::host;
    const std::string_view target(reinterpret_cast<const char*>(data), size);
    const auto question = target.find('?');
    const std::string_view path = target.substr(0, question);
    const std::string_view query =
        question == std::string_view::npos ? std::string_view() : target.substr(question + 1);

    source_lookup lookup = find_source(sources(), path);
    if (lookup.outcome == source_lookup::result::found) {
        const fs::path file = images_root() / lookup.relative;
        require(lies_within(images_root(), fs::canonical(file)));
        // Found again by its status alone, it still opens the same confined way.
        require(fs::is_regular_file(file) && (lookup.opened || open_found(sources(), lookup)));
        require(!lookup.relative.empty() && *fs::path(lookup.relative).begin() != "..");
    }
    const auto parsed = parse_parameters(query);
    if (const auto* parameters = std::get_if<conversion_parameters>(&parsed)) {
        check_parameters(*parameters);
        const std::string relative =
            lookup.outcome == source_lookup::result::found ? lookup.relative : std::string(path);
        check_cache_key(cache_key(relative, *parameters, std::nullopt,
                                  parameters->format.value_or(output_format::png)));
    }
    return 0;
}
