#include "os/memory_file.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorin::host::os {

std::optional<memory_file> memory_file::create() {
    const int descriptor = ::memfd_create("quorin-conversion", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (descriptor < 0) return std::nullopt;
    return memory_file(unique_descriptor(descriptor));
}

bool memory_file::write_all(const void* data, std::size_t size) const {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t wrote = ::pwrite(descriptor_.get(), static_cast<const char*>(data) + done,
                                       size - done, static_cast<off_t>(done));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

memory_file::mapping::~mapping() {
    if (size_ > 0) ::munmap(const_cast<void*>(data_), size_);
}

std::unique_ptr<memory_file::mapping> memory_file::seal_and_map(std::size_t size) const {
    if (::fcntl(descriptor_.get(), F_ADD_SEALS, F_SEAL_SHRINK) != 0) return nullptr;
    struct stat status {};
    if (::fstat(descriptor_.get(), &status) != 0 ||
        static_cast<std::uint64_t>(status.st_size) < size)
        return nullptr;
    if (size == 0) return std::make_unique<mapping>(nullptr, 0);
    void* data = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, descriptor_.get(), 0);
    if (data == MAP_FAILED) return nullptr;
    return std::make_unique<mapping>(data, size);
}

} // namespace quorin::host::os
