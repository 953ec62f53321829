// Generated pictures: the sample set a first run shows, and test images.
// Each is a smooth pattern with detail in every region, so that a wrong
// scale or a swapped axis is visible.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "variant/output_format.h"

namespace quorin::host {

enum class pattern { gradient, rings, checker, waves };

// Draws the pattern at the given size (with an alpha channel when
// `transparent`) and writes it; false when it cannot.
bool write_pattern_image(const std::filesystem::path& file, unsigned width, unsigned height,
                         output_format format, pattern kind, bool transparent = false);

// Writes the sample set into `directory` (created if needed); returns the
// files written. Existing files are replaced.
std::vector<std::filesystem::path> make_sample_images(const std::filesystem::path& directory);

} // namespace quorin::host
