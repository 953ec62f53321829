// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes.
#pragma once

#include <filesystem>
#include <string>

namespace quorin::test {

class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

// Writes bytes to a file, replacing it.
void write_file(const std::filesystem::path& path, const std::string& bytes);
std::string read_file(const std::filesystem::path& path);

} // namespace quorin::test
