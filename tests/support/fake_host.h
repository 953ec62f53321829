// A fake host: request records that keep what the module sends, and an
// image-library table that knows formats by their magic bytes.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "trelvane_module.h"

// The fake image library's memory stream: the encoded image file.
struct FIMEMORY {
    std::string bytes;
    bool acquire_fails = false;
};

namespace quorin::test {

// The image library's codes of the formats the fake knows.
inline constexpr int format_bmp = 0;
inline constexpr int format_jpeg = 2;
inline constexpr int format_png = 13;
inline constexpr int format_gif = 25;
// A format the library detects but has no MIME type for.
inline constexpr int format_nameless = 40;

// The format the fake knows by these leading bytes of a file, or -1. No
// format needs more than format_head_size bytes.
inline constexpr std::size_t format_head_size = 16;
int format_of_head(std::string_view head);

// Smallest byte strings the fake detects as each format.
std::string png_bytes(std::size_t total_size);
std::string jpeg_bytes(std::size_t total_size);

// The fake table, for a module loaded from its file.
FreeImageFunction* fake_image_table();

// Installs the fake table in the FreeImageAPI slot while it lives.
class fake_image_library {
public:
    fake_image_library();
    ~fake_image_library();
    fake_image_library(const fake_image_library&) = delete;
    fake_image_library& operator=(const fake_image_library&) = delete;

private:
    FreeImageFunction* previous_;
};

// What one request received from the module.
struct recorded_response {
    int header_calls = 0;
    std::string status;
    std::string header_block;
    std::string body;
    std::vector<DWORD> write_sizes;
};

// One request record whose callbacks record into `response`.
class fake_request {
public:
    explicit fake_request(const char* method);
    fake_request(const fake_request&) = delete;
    fake_request& operator=(const fake_request&) = delete;

    EXTENSION_CONTROL_BLOCK* record() { return &record_; }
    recorded_response response;

private:
    std::string method_;
    EXTENSION_CONTROL_BLOCK record_{};
};

} // namespace quorin::test
