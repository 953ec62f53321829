// What an encoded image is, read back with the image library.
#pragma once

#include <string>

namespace quorin::test {

struct decoded_image {
    int format = -1;  // the library's format code; -1 when not an image
    unsigned width = 0;
    unsigned height = 0;
    unsigned bpp = 0;
};

decoded_image decode(const std::string& bytes);

// `jpeg` with the size in its frame header replaced: a small file that
// claims a picture of `width` x `height`.
std::string with_claimed_jpeg_size(std::string jpeg, unsigned width, unsigned height);

} // namespace quorin::test
