// A cap on the memory the process may take.
#pragma once

#include <cstdint>

namespace quorin::host::os {

// Caps the process's private writable memory (heap and anonymous
// mappings, not the libraries' code) at `bytes`, for good: it cannot be
// raised again. An allocation past it fails. False when it cannot be set.
bool limit_data_memory(std::uint64_t bytes);

} // namespace quorin::host::os
