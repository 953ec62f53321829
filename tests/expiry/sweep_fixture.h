// A cache root in a temporary directory, installed in the settings record
// with the log on, under a steered env. Leaf directories appear as files are
// added, so the tree is sparse: every other leaf is missing.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "expiry/steered_env.h"
#include "platform/text.h"
#include "support/native_path.h"
#include "support/temp_dir.h"

namespace quorin::test {

inline const std::vector<std::string> empty_sweep_lines = {"DELETE_PROC IN",  "DELETE_SCAN IN",
                                                           "DELETE_SCAN OUT", "DELETE_EXEC IN",
                                                           "DELETE_EXEC OUT", "DELETE_PROC OUT"};

class sweep_fixture : public ::testing::Test {
protected:
    sweep_fixture() {
        std::filesystem::create_directory(root);
        module_settings.cache_folder_path = "cache";
        module_settings.cache_root = root.string();
        module_settings.interval = 0;
        module_settings.cache_delete_time = 100;
        module_settings.base_time = creation;
        module_settings.log_file_path = "expiry.log";
        module_settings.log_path = log.string();
    }

    // Writes a file below the cache root, e.g. add("3/7f/photo.png").
    std::filesystem::path add(const std::string& relative) const {
        std::filesystem::create_directories((root / relative).parent_path());
        write_file(root / relative, "image");
        return root / relative;
    }

    // The texts of the log lines, each checked for its time stamp and its
    // line end.
    std::vector<std::string> log_texts() const {
        std::vector<std::string> texts;
        const std::string content = read_file(log);
        for (std::size_t start = 0; start < content.size();) {
            const std::size_t end = content.find(text_line_end, start);
            EXPECT_NE(end, std::string::npos) << "unterminated last line";
            const std::string line = content.substr(start, end - start);
            EXPECT_EQ(line.substr(0, 20), "2026/01/05 03:04:09 ");
            texts.push_back(line.substr(20));
            start = end == std::string::npos ? content.size() : end + text_line_end.size();
        }
        return texts;
    }

    // The length of the root's UTF-16 path, which a cache file's path starts with.
    std::size_t root_length() const { return platform::decode_utf8(root.string()).size(); }

    // root followed by a path such as "/0/00/a", with the platform's separator.
    std::string in_root(std::string_view relative) const {
        return root.string() + native_path(relative);
    }

    steered_env env;
    platform::scoped_env installed{env};
    settings_guard guard;
    temp_dir dir;
    std::filesystem::path root = dir.path() / "cache";
    std::filesystem::path log = dir.path() / "expiry.log";
};

} // namespace quorin::test
