#include "platform/win32/win32_files.h"

#include <windows.h>
#include <cstdio>
#include <share.h>
#include <utility>

#include "platform/filetime.h"
#include "platform/win32/handle.h"

namespace quorin::platform::win32 {
namespace {

class win32_readable_file final : public readable_file {
public:
    win32_readable_file(HANDLE file, const wide_string& path) : file_(file), path_(path) {}

    bool times(file_times& out) override {
        FILETIME creation{}, last_access{}, last_write{};
        if (!::GetFileTime(file_.get(), &creation, &last_access, &last_write)) return false;
        out = {to_file_time(creation), to_file_time(last_access), to_file_time(last_write)};
        return true;
    }

    // The high half is asked for too: a file of 4 GiB or more must not pass
    // for its low 32 bits.
    bool size(std::uint64_t& out) override {
        DWORD high = 0;
        const DWORD low = ::GetFileSize(file_.get(), &high);
        if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return false;
        out = (std::uint64_t{high} << 32) | low;
        return true;
    }

    std::int64_t read(void* buffer, std::size_t capacity) override {
        const DWORD wanted = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
        DWORD count = 0;
        if (!::ReadFile(file_.get(), buffer, wanted, &count, nullptr)) return -1;
        return count;
    }

    // Through a handle of its own that asks for attribute access only: the
    // reading handle needs no write right, and attribute access conflicts
    // with no reader.
    bool set_last_access(file_time time) override {
        const handle attributes(
            ::CreateFileW(path_.c_str(), FILE_WRITE_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, 0, nullptr));
        if (!attributes.valid()) return false;
        const FILETIME last_access = to_FILETIME(time);
        return ::SetFileTime(attributes.get(), nullptr, &last_access, nullptr) != 0;
    }

private:
    handle file_;
    wide_string path_;
};

class win32_writable_file final : public writable_file {
public:
    win32_writable_file(std::FILE* stream, const wide_string& path)
        : stream_(stream), path_(path) {}
    ~win32_writable_file() override {
        if (stream_ != nullptr) std::fclose(stream_);
    }

    bool write_all(const void* data, std::size_t size) override {
        return std::fwrite(data, 1, size, stream_) == size;
    }

    // The stream is closed first: its last bytes reach the file only then,
    // and a close that fails to write them leaves a file that must never
    // carry the source time. The times are then set through a handle that
    // asks for attribute access only, which conflicts with no reader.
    bool stamp(const std::function<file_time()>& clock, file_time last_write) override {
        const bool closed = std::fclose(std::exchange(stream_, nullptr)) == 0;
        if (!closed) return false;
        const file_time creation = clock();
        const handle attributes(::CreateFileW(path_.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
        if (!attributes.valid()) return false;
        const FILETIME creation_time = to_FILETIME(creation);
        const FILETIME last_write_time = to_FILETIME(last_write);
        return ::SetFileTime(attributes.get(), &creation_time, nullptr, &last_write_time) != 0;
    }

private:
    std::FILE* stream_;
    wide_string path_;
};

} // namespace

// Data and attribute reads: GetFileTime needs attribute access on top of the
// data access, and attribute access takes no part in sharing, so readers
// still exclude writers and deletion exactly as data readers do.
std::unique_ptr<readable_file> open_for_reading(const wide_string& path) {
    const HANDLE file = ::CreateFileW(path.c_str(), FILE_READ_DATA | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<win32_readable_file>(file, path);
}

std::unique_ptr<writable_file> open_for_writing(const wide_string& path) {
    std::FILE* stream = ::_wfsopen(path.c_str(), L"wb", _SH_DENYRW);
    if (stream == nullptr) return nullptr;
    return std::make_unique<win32_writable_file>(stream, path);
}

} // namespace quorin::platform::win32
