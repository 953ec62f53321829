// Shared pieces of the end-to-end suites: test images, where the module
// keeps a cached conversion, and the host's answers read back.
#pragma once

#include <filesystem>
#include <string>

#include "variant/request_parameters.h"

namespace quorin::test {

// Writes a generated image of the given size; its format follows the
// file's extension (jpg, png, gif, bmp, webp).
void write_image(const std::filesystem::path& file, unsigned width, unsigned height);

// The module's cache file for a key whose last element is `name`: the
// cache root, the first digit of the MD5 of the name as UTF-16LE, the
// next two digits, and the name.
std::filesystem::path cached_file(const std::filesystem::path& cache_root, const std::string& name);

// Sets a file's modification time, to the 100-ns unit.
void set_modification_time(const std::filesystem::path& file,
                           std::chrono::system_clock::time_point time);

} // namespace quorin::test
