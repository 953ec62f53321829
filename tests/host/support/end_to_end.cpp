#include "support/end_to_end.h"

#include <openssl/evp.h>
#include <stdexcept>

#include "imaging/sample_images.h"
#include "variant/output_format.h"

namespace quorin::test {

void write_image(const std::filesystem::path& file, unsigned width, unsigned height) {
    std::string extension = file.extension().string().substr(1);
    const auto format = host::format_named(extension);
    if (!format || !host::write_pattern_image(file, width, height, *format, host::pattern::waves)) {
        throw std::runtime_error("cannot write test image " + file.string());
    }
}

std::filesystem::path cached_file(const std::filesystem::path& cache_root,
                                  const std::string& name) {
    std::string utf16le;
    for (const char c : name) { // the names the host makes are ASCII
        utf16le.push_back(c);
        utf16le.push_back('\0');
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(utf16le.data(), utf16le.size(), digest, &length, EVP_md5(), nullptr);
    static constexpr char hex[] = "0123456789abcdef";
    const std::string first(1, hex[digest[0] >> 4]);
    const std::string second{hex[digest[0] & 0xF], hex[digest[1] >> 4]};
    return cache_root / first / second / name;
}

void set_modification_time(const std::filesystem::path& file,
                           std::chrono::system_clock::time_point time) {
    std::filesystem::last_write_time(file, std::chrono::file_clock::from_sys(time));
}

} // namespace quorin::test
