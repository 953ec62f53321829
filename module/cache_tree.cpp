#include "module/cache_tree.h"

#include "expiry/cache_directories.h"
#include "platform/env.h"

namespace quorin {

void create_cache_tree(const std::string& cache_root) {
    platform::env& env = platform::current_env();
    for (unsigned first = 0; first < first_level_count; ++first) {
        const std::string first_level = first_level_directory(cache_root, first);
        env.create_directory(first_level);
        for (unsigned second = 0; second < second_level_count; ++second) {
            env.create_directory(second_level_directory(first_level, second));
        }
    }
}

} // namespace quorin
