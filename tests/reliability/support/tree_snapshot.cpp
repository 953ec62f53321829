#include "support/tree_snapshot.h"

#include <chrono>

#include "support/temp_dir.h"

namespace quorin::test {

namespace fs = std::filesystem;

tree_snapshot snapshot_of(const fs::path& directory) {
    tree_snapshot snapshot;
    for (const auto& entry : fs::recursive_directory_iterator(directory)) {
        entry_state state;
        const fs::file_status status = entry.symlink_status();
        if (fs::is_symlink(status)) {
            state.type = 'l';
            state.content = fs::read_symlink(entry.path()).string();
        } else if (fs::is_directory(status)) {
            state.type = 'd';
        } else if (fs::is_regular_file(status)) {
            state.type = 'f';
            state.size = entry.file_size();
            state.content = read_file(entry.path());
            state.modified_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                    entry.last_write_time().time_since_epoch())
                                    .count();
        }
        snapshot[fs::relative(entry.path(), directory).string()] = state;
    }
    return snapshot;
}

} // namespace quorin::test
