// The default env: the POSIX operating system.
#include <algorithm>
#include <climits>
#include <ctime>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include "platform/posix/file_time_conversion.h"
#include "platform/posix/posix_directory.h"
#include "platform/posix/posix_files.h"
#include "platform/text.h"

namespace quorin::platform {
namespace {

// The directory the dynamic loader recorded for the object holding this
// code. It is absolute even when the host opened the module by a relative
// path, whatever the working directory is now.
std::string loaded_object_path() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&loaded_object_path), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    std::string path = info.dli_fname;
    const auto slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (void* handle = ::dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD)) {
        char origin[PATH_MAX + 1] = {};
        if (::dlinfo(handle, RTLD_DI_ORIGIN, origin) == 0 && origin[0] == '/') {
            path = std::string(origin) + (origin[1] == '\0' ? "" : "/") + base;
        }
        ::dlclose(handle);
    }
    return path;
}

// A cache file's path in UTF-8, and the length there of its cache root
// (the first `root_length` units): one pass, as every hit opens one.
struct narrow_path {
    narrow_path(const wide_string& path, std::size_t root_length) {
        const wide_string_view whole(path);
        const std::size_t split = std::min(root_length, whole.size());
        text.reserve(whole.size());
        append_utf8(text, whole.substr(0, split));
        root = text.size();
        append_utf8(text, whole.substr(split));
    }
    std::string text;
    std::size_t root = 0;
};

class posix_env final : public env {
public:
    file_time now() override {
        timespec time{};
        ::clock_gettime(CLOCK_REALTIME, &time);
        return posix::to_file_time(time);
    }

    local_time local_now() override {
        const time_t seconds = ::time(nullptr);
        tm fields{};
        ::localtime_r(&seconds, &fields);
        return {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday,
                fields.tm_hour,        fields.tm_min,     fields.tm_sec};
    }

    std::unique_ptr<readable_file> open_for_reading(const wide_string& path,
                                                    std::size_t root_length) override {
        const narrow_path narrow(path, root_length);
        return posix::open_for_reading(narrow.text, narrow.root);
    }

    std::unique_ptr<writable_file> open_for_writing(const wide_string& path,
                                                    std::size_t root_length) override {
        const narrow_path narrow(path, root_length);
        return posix::open_for_writing(narrow.text, narrow.root);
    }

    bool create_directory(const std::string& path) override {
        return ::mkdir(path.c_str(), 0755) == 0;
    }

    bool list_directory(const std::string& path, std::size_t root_length,
                        const std::function<bool(const directory_entry&)>& visit) override {
        return posix::list_directory(path, root_length, visit);
    }

    bool delete_file(const std::string& path, std::size_t root_length) override {
        return posix::delete_file(path, root_length);
    }

    std::string module_file_path() override { return loaded_object_path(); }
};

} // namespace

env& default_env() {
    static posix_env instance;
    return instance;
}

} // namespace quorin::platform
