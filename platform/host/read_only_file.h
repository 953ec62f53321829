// A file opened for reading only, read at given offsets (no shared file
// position), closed when the object goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quorin::platform {

class read_only_file {
public:
    // Null when the file cannot be opened.
    static std::unique_ptr<read_only_file> open(const std::string& path);

    ~read_only_file();
    read_only_file(const read_only_file&) = delete;
    read_only_file& operator=(const read_only_file&) = delete;

    // Up to `size` bytes from `offset` into `into`; fewer at the end of the
    // file, 0 past it or on a failed read.
    std::size_t read_at(std::uint64_t offset, void* into, std::size_t size) const;

    // The file's size now; nullopt when it cannot be asked.
    std::optional<std::uint64_t> size() const;

private:
    explicit read_only_file(int descriptor) : descriptor_(descriptor) {}
    int descriptor_;
};

} // namespace quorin::platform
