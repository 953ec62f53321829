#include "os/memory_limit.h"

#include <sys/resource.h>

namespace quorin::host::os {

bool limit_data_memory(std::uint64_t bytes) {
    const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    return ::setrlimit(RLIMIT_DATA, &limit) == 0;
}

} // namespace quorin::host::os
