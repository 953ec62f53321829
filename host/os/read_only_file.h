// A file (or directory) opened for reading only, read at given offsets (no
// shared file position), closed when the object goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "os/file_identity.h"
#include "os/unique_descriptor.h"

namespace quorin::host::os {

class read_only_file {
public:
    // Null when the file cannot be opened.
    static std::unique_ptr<read_only_file> open(const std::string& path);

    // Opens `relative` below the opened directory `directory` in one call,
    // only when the way there stays below it and meets no symbolic link;
    // null otherwise, and where the system cannot do it. Never waits on a
    // FIFO.
    static std::unique_ptr<read_only_file> open_beneath(const read_only_file& directory,
                                                        const std::string& relative);

    // One received from another process, already open for reading.
    static std::unique_ptr<read_only_file> adopt(unique_descriptor descriptor);

    ~read_only_file();
    read_only_file(const read_only_file&) = delete;
    read_only_file& operator=(const read_only_file&) = delete;

    // Up to `size` bytes from `offset` into `into`; fewer at the end of the
    // file, 0 past it or on a failed read.
    std::size_t read_at(std::uint64_t offset, void* into, std::size_t size) const;

    // The file's size now; nullopt when it cannot be asked.
    std::optional<std::uint64_t> size() const;

    // Which version of which file this is, when it is a regular file.
    std::optional<file_identity> identity_if_regular() const;

    // The identity of the regular file `relative` names below this
    // directory, in one call and without opening it; a link at its end is
    // not followed (nullopt then), one on the way is.
    std::optional<file_identity> identity_beneath(const std::string& relative) const;

    // The modification time, when this is a regular file.
    std::optional<std::filesystem::file_time_type> modified_if_regular() const;

    // For handing this very file to another process.
    int descriptor() const { return descriptor_; }

private:
    explicit read_only_file(int descriptor) : descriptor_(descriptor) {}
    int descriptor_;
};

} // namespace quorin::host::os
