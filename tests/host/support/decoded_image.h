// What an encoded image is, read back with the image library.
#pragma once

#include <string>

namespace quorin::host {
class memory_stream;
}

namespace quorin::test {

// The bytes a memory stream holds.
std::string stream_bytes(const host::memory_stream& stream);

struct decoded_image {
    int format = -1; // the library's format code; -1 when not an image
    unsigned width = 0;
    unsigned height = 0;
    unsigned bpp = 0;
};

decoded_image decode(const std::string& bytes);

// The brightness (0 to 255) of the pixel at column x, row y counted from the
// top, of an encoded image.
unsigned brightness_at(const std::string& bytes, unsigned x, unsigned y);

struct rgb_colour {
    int red = 0, green = 0, blue = 0;
};

// The colour of the pixel at column x, row y counted from the top.
rgb_colour colour_at(const std::string& bytes, unsigned x, unsigned y);

// The opacity (0 clear to 255 opaque) of the pixel at column x, row y
// counted from the top; 255 throughout an image without alpha.
unsigned alpha_at(const std::string& bytes, unsigned x, unsigned y);

// `jpeg` with the size in its frame header replaced: a small file that
// claims a picture of `width` x `height`.
std::string with_claimed_jpeg_size(std::string jpeg, unsigned width, unsigned height);

// Exif data that holds only the orientation tag (1 to 8), as a camera
// writes it.
std::string exif_orientation_block(unsigned orientation);

// `jpeg` with an Exif segment that holds only the orientation tag (1 to 8),
// as a camera writes it.
std::string with_exif_orientation(const std::string& jpeg, unsigned orientation);

} // namespace quorin::test
