// ICC profiles made for tests with lcms2.
#pragma once

#include <string>

namespace quorin::test {

// A profile like sRGB but with its red and green primaries swapped: its
// red is sRGB's green and the other way round.
std::string swapped_primaries_profile();

} // namespace quorin::test
