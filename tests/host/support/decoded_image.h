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

} // namespace quorin::test
