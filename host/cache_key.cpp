#include "cache_key.h"

#include <openssl/evp.h>

#include "hex_digit.h"
#include "utf16_text.h"

namespace quorin::host {
namespace {

constexpr std::size_t stem_limit = 64;
constexpr std::size_t digest_hex_digits = 16;

// The base name kept readable and safe as a file name: ASCII letters,
// digits, '-', '.' and '_' stay, anything else becomes '_'.
std::string readable_stem(const std::filesystem::path& source) {
    std::string stem = source.stem().string().substr(0, stem_limit);
    for (char& c : stem) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
        if (!keep) c = '_';
    }
    return stem;
}

std::string digest_hex(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr);
    std::string result;
    for (std::size_t i = 0; i < digest_hex_digits / 2; ++i) {
        result.push_back(lower_hex_digit(digest[i] >> 4));
        result.push_back(lower_hex_digit(digest[i]));
    }
    return result;
}

std::string optional_number(std::optional<int> value) {
    return value ? std::to_string(*value) : "-";
}

} // namespace

std::string cache_name(const std::filesystem::path& relative_source,
                       const conversion_parameters& parameters, output_format format) {
    // Every parameter goes into the digest, NUL-separated so that no two
    // different inputs run together into the same text.
    const std::string digested =
        relative_source.generic_string() + '\0' + optional_number(parameters.width) + '\0' +
        optional_number(parameters.height) + '\0' + std::string(format_name(format)) + '\0' +
        std::to_string(parameters.quality);

    std::string name = readable_stem(relative_source);
    if (parameters.width) name += "_w" + std::to_string(*parameters.width);
    if (parameters.height) name += "_h" + std::to_string(*parameters.height);
    name += "_q" + std::to_string(parameters.quality);
    name += '_' + digest_hex(digested);
    name += '.';
    name += format_extension(format);
    return name;
}

std::u16string cache_key(const std::filesystem::path& relative_source,
                         const conversion_parameters& parameters, output_format format) {
    std::string key = relative_source.parent_path().generic_string();
    if (!key.empty()) key += '/';
    key += cache_name(relative_source, parameters, format);
    return to_utf16(key);
}

} // namespace quorin::host
