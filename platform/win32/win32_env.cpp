// The default env: Windows.
#include <windows.h>

#include "platform/filetime.h"
#include "platform/win32/module_handle.h"
#include "platform/win32/win32_directory.h"
#include "platform/win32/win32_files.h"

namespace quorin::platform {
namespace {

class win32_env final : public env {
public:
    file_time now() override {
        FILETIME time{};
        ::GetSystemTimeAsFileTime(&time);
        return to_file_time(time);
    }

    local_time local_now() override {
        SYSTEMTIME time{};
        ::GetLocalTime(&time);
        return {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
    }

    // The Windows calls take the path whole: root_length is not needed.
    std::unique_ptr<readable_file> open_for_reading(const wide_string& path,
                                                    std::size_t /*root_length*/) override {
        return win32::open_for_reading(path);
    }

    std::unique_ptr<writable_file> open_for_writing(const wide_string& path,
                                                    std::size_t /*root_length*/) override {
        return win32::open_for_writing(path);
    }

    bool create_directory(const std::string& path) override {
        return ::CreateDirectoryA(path.c_str(), nullptr) != 0;
    }

    bool list_directory(const std::string& path, std::size_t /*root_length*/,
                        const std::function<bool(const directory_entry&)>& visit) override {
        return win32::list_directory(path, visit);
    }

    bool delete_file(const std::string& path, std::size_t /*root_length*/) override {
        return ::DeleteFileA(path.c_str()) != 0;
    }

    // A path longer than the buffer comes back truncated, as the loader
    // gives it.
    std::string module_file_path() override {
        char path[MAX_PATH] = {};
        ::GetModuleFileNameA(win32::module_handle, path, MAX_PATH);
        return path;
    }
};

} // namespace

env& default_env() {
    static win32_env instance;
    return instance;
}

} // namespace quorin::platform
