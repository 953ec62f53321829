// The one narrow interface between quorin and the operating system.
//
// Everything the module asks of the OS goes through `env`: the clock, the
// cache files, directory listing and deletion, and where the module file
// lies. The operating system's implementation (platform/posix/ on Linux,
// platform/win32/ on Windows) is the default; tests install their own
// (usually an `env_wrapper` that overrides the clock) with `scoped_env`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/wide_string.h"

namespace quorin::platform {

// 100-nanosecond ticks since 1601-01-01 00:00 UTC: the unit of every file
// time and clock reading in quorin.
using file_time = std::uint64_t;

inline constexpr file_time ticks_per_second = 10'000'000;

struct local_time {
    int year;
    int month; // 1..12
    int day;   // 1..31
    int hour;  // 0..23
    int minute;
    int second;
};

struct file_times {
    file_time creation; // the time the cache writer stored the file
    file_time last_access;
    file_time last_write;
};

// A cache file open for reading. Other readers may open it at the same time;
// writers and deletion are refused while it is open.
class readable_file {
public:
    virtual ~readable_file() = default;
    virtual bool times(file_times& out) = 0;
    virtual bool size(std::uint64_t& out) = 0;
    // Bytes read into buffer: 0 at the end of the file, -1 on error.
    virtual std::int64_t read(void* buffer, std::size_t capacity) = 0;
    // Sets the last-access time and leaves the others as they are.
    virtual bool set_last_access(file_time time) = 0;
};

// A cache file open for writing, exclusively: every other open and deletion
// is refused while it is open. Its earlier content is discarded on open.
class writable_file {
public:
    virtual ~writable_file() = default;
    // Writes every byte (short writes are retried); false on error.
    virtual bool write_all(const void* data, std::size_t size) = 0;
    // Sets the creation time to a reading of `clock` and the last-write time;
    // the last-access time is kept. Called once, after the last write: where
    // the times are set through a handle of their own (Windows), the data
    // stream is closed first, and the clock is read only after that close.
    virtual bool stamp(const std::function<file_time()>& clock, file_time last_write) = 0;
};

struct directory_entry {
    std::string_view name;
    bool is_directory; // never true for a symbolic link: links are judged as links
    file_time creation;
    file_time last_access;
};

// The paths of cache files and leaf directories lie below the cache root,
// which their first `root_length` code units name. The root may be reached
// through symbolic links (the settings name it); nothing below it may be one,
// so that a link planted in the tree cannot lead a read, a write, a listing
// or a deletion out of it.
class env {
public:
    virtual ~env() = default;

    // Current time, UTC.
    virtual file_time now() = 0;
    // Current local wall-clock time.
    virtual local_time local_now() = 0;

    // Both return null when the file cannot be opened with the required
    // sharing (busy), is missing, or is not a regular file.
    virtual std::unique_ptr<readable_file> open_for_reading(const wide_string& path,
                                                            std::size_t root_length) = 0;
    virtual std::unique_ptr<writable_file> open_for_writing(const wide_string& path,
                                                            std::size_t root_length) = 0;

    // Creates one directory; false when it could not (it may already exist).
    virtual bool create_directory(const std::string& path) = 0;

    // Calls visit for every entry of the directory except "." and "..", until
    // visit returns false. Returns false when the directory cannot be listed.
    // The entry's name is valid only during the call.
    virtual bool list_directory(const std::string& path, std::size_t root_length,
                                const std::function<bool(const directory_entry&)>& visit) = 0;

    // Deletes one file (a symbolic link itself, never its target). Fails
    // while the file is open for reading or writing.
    virtual bool delete_file(const std::string& path, std::size_t root_length) = 0;

    // Full path of the module file this code was loaded from.
    virtual std::string module_file_path() = 0;
};

// Forwards every call to another env; tests derive from it and override only
// what they steer (typically the clock).
class env_wrapper : public env {
public:
    explicit env_wrapper(env& target) : target_(target) {}

    file_time now() override { return target_.now(); }
    local_time local_now() override { return target_.local_now(); }
    std::unique_ptr<readable_file> open_for_reading(const wide_string& path,
                                                    std::size_t root_length) override {
        return target_.open_for_reading(path, root_length);
    }
    std::unique_ptr<writable_file> open_for_writing(const wide_string& path,
                                                    std::size_t root_length) override {
        return target_.open_for_writing(path, root_length);
    }
    bool create_directory(const std::string& path) override {
        return target_.create_directory(path);
    }
    bool list_directory(const std::string& path, std::size_t root_length,
                        const std::function<bool(const directory_entry&)>& visit) override {
        return target_.list_directory(path, root_length, visit);
    }
    bool delete_file(const std::string& path, std::size_t root_length) override {
        return target_.delete_file(path, root_length);
    }
    std::string module_file_path() override { return target_.module_file_path(); }

private:
    env& target_;
};

// The operating system itself.
env& default_env();

// The env the module uses now: the default unless a test installed another.
env& current_env();

// Installs an env for the lifetime of this object (tests only).
class scoped_env {
public:
    explicit scoped_env(env& replacement);
    ~scoped_env();
    scoped_env(const scoped_env&) = delete;
    scoped_env& operator=(const scoped_env&) = delete;

private:
    env* previous_;
};

} // namespace quorin::platform
