// Animated GIFs made for tests and benchmarks, written with the image
// library.
#pragma once

#include <FreeImage.h>
#include <filesystem>
#include <vector>

namespace quorin::test {

// Sets a metadata tag of `count` values of `type`, `size` bytes in all.
void set_tag(FIBITMAP* image, FREE_IMAGE_MDMODEL model, const char* key, FREE_IMAGE_MDTYPE type,
             DWORD count, const void* value, DWORD size);

// One frame as the file stores it.
struct gif_frame {
    unsigned width;
    unsigned height;
    unsigned left = 0;
    unsigned top = 0;
    unsigned disposal = 0;     // 0 unspecified, 1 leave, 2 background, 3 previous
    int transparent = -1;      // the palette index that shows through, or -1
    unsigned bpp = 8;          // 1, 4 or 8
    bool local_palette = true; // false: the global palette applies
    bool interlaced = false;
};

// Writes `frames` as an animation on a `width` x `height` screen. Each
// frame's pixels and local palette differ from every other's; with
// `global_palette` the file also has one, with a background colour that is
// not its first entry.
bool write_animated_gif(const std::filesystem::path& file, unsigned width, unsigned height,
                        const std::vector<gif_frame>& frames, bool global_palette);

} // namespace quorin::test
