#include "support/swept_cache.h"

#include <sstream>

#include "cache/cache_tree.h"
#include "expiry/expiry_sweep.h"
#include "platform/text.h"

namespace quorin::test {

swept_cache::swept_cache(std::int32_t cache_delete_time) : swept_cache({}, cache_delete_time) {}

swept_cache::swept_cache(const std::filesystem::path& root, std::int32_t cache_delete_time)
    : root_(root.empty() ? dir_.path() / "cache" : root), log_(dir_.path() / "expiry.log") {
    std::filesystem::create_directories(root_);
    module_settings.cache_folder_path = "cache";
    module_settings.cache_root = root_.string();
    module_settings.cache_root_wide = platform::decode_utf8(root_.string());
    module_settings.cache_delete_time = cache_delete_time;
    module_settings.interval = 60;
    module_settings.base_time = creation;
    module_settings.log_file_path = "expiry.log";
    module_settings.log_path = log_.string();
    create_cache_tree(root_.string());
}

swept_cache::~swept_cache() = default;

std::vector<std::string> swept_cache::log_lines() const {
    std::istringstream content(read_file(log_));
    std::vector<std::string> lines;
    for (std::string line; std::getline(content, line);) lines.push_back(line);
    return lines;
}

back_to_back_sweeper::back_to_back_sweeper()
    : thread_([this] {
          while (!stop_.requested()) {
              ++sweeps_;
              expiry_sweep(stop_);
          }
      }) {}

std::uint64_t back_to_back_sweeper::stop() {
    if (thread_.joinable()) {
        stop_.request();
        thread_.join();
    }
    return sweeps_.load();
}

std::size_t count_lines_starting(const std::vector<std::string>& lines, std::string_view text) {
    std::size_t count = 0;
    // "YYYY/MM/DD hh:mm:ss " comes first.
    for (const std::string& line : lines)
        count += line.size() > 20 && std::string_view(line).substr(20).starts_with(text);
    return count;
}

} // namespace quorin::test
