// How much memory the machine has.
#pragma once

#include <cstdint>

namespace quorin::host::os {

// Bytes of physical memory; 0 when the system does not tell.
std::uint64_t physical_memory_bytes();

} // namespace quorin::host::os
