// Source images whose converted answers a test can check over HTTP: version
// V of image N is a solid colour that names (N, V), with the source time of
// version V (support/versioned_images.h) as its modification time. Any
// resized PNG of it keeps that colour, so an answer shows which version it
// was converted from.
#pragma once

#include <filesystem>
#include <string>
#include <utility>

#include "support/http_client.h"

namespace quorin::test {

inline constexpr unsigned source_width = 200;
inline constexpr unsigned source_height = 150;

std::string source_name(int image); // "img-N.png"

// Writes version V of image N into `images` at once (a rename), with its
// modification time.
void write_source(const std::filesystem::path& images, int image, int version);

// The image part of the target of a PNG of image N fitted into width `w`.
std::string target_of(int image, unsigned w);

// Empty when the answer to GET or HEAD of target_of(image, w) is a whole
// "200 OK" PNG of the right size, converted from the version its
// Last-Modified names; else what is wrong.
std::string check_answer(const http_response& response, bool head, int image, unsigned w);

// Empty when a file's bytes decode as a whole PNG of image N, width w, in
// the colour of `version`.
std::string check_png(const std::string& bytes, int image, unsigned w, int version);

// Image N and width of the cache file named for one of those answers, such
// as "img-3_64x48_1a2b....png".
std::pair<int, unsigned> image_and_width_of(const std::string& cache_name);

} // namespace quorin::test
