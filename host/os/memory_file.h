// A file that lives in memory only, handed between processes by its
// descriptor: a worker writes an encoded image into it, the server maps
// what was written instead of having it copied through a pipe.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

#include "os/unique_descriptor.h"

namespace quorin::host::os {

class memory_file {
public:
    // A new, empty one; nullopt when the system cannot make it.
    static std::optional<memory_file> create();
    // One received from another process.
    explicit memory_file(unique_descriptor descriptor) : descriptor_(std::move(descriptor)) {}

    int descriptor() const { return descriptor_.get(); }

    // Writes `size` bytes at its start; false when they do not all fit.
    bool write_all(const void* data, std::size_t size) const;

    // The first `size` bytes, read-only, unmapped when the object goes.
    class mapping {
    public:
        mapping(const void* data, std::size_t size) : data_(data), size_(size) {}
        ~mapping();
        mapping(const mapping&) = delete;
        mapping& operator=(const mapping&) = delete;

        const void* data() const { return data_; }
        std::size_t size() const { return size_; }

    private:
        const void* data_;
        std::size_t size_;
    };

    // Maps the first `size` bytes once no one can make the file shorter any
    // more (another holder that did would fault this process's reads);
    // null when it holds fewer bytes or cannot be mapped.
    std::unique_ptr<mapping> seal_and_map(std::size_t size) const;

private:
    unique_descriptor descriptor_;
};

} // namespace quorin::host::os
