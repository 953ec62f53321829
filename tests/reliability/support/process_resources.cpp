#include "support/process_resources.h"

#include <algorithm>
#include <filesystem>

namespace quorin::test {

namespace fs = std::filesystem;

std::size_t thread_count() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& task : fs::directory_iterator("/proc/self/task")) ++count;
    return count;
}

std::vector<std::string> open_descriptor_targets() {
    std::vector<std::string> targets;
    for (const auto& descriptor : fs::directory_iterator("/proc/self/fd")) {
        std::error_code gone; // the listing's own descriptor is closed by now
        const std::string target = fs::read_symlink(descriptor.path(), gone).string();
        if (!gone && !target.starts_with("/proc/")) targets.push_back(target);
    }
    std::sort(targets.begin(), targets.end());
    return targets;
}

} // namespace quorin::test
