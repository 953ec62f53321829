// What the process holds, read from /proc: its threads and the files its
// descriptors point at.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quorin::test {

std::size_t thread_count();

// The targets of the open descriptors, sorted, leaving out the listing of
// /proc itself.
std::vector<std::string> open_descriptor_targets();

} // namespace quorin::test
