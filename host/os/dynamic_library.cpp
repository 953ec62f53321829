#include "os/dynamic_library.h"

#include <dlfcn.h>

namespace quorin::host::os {

std::unique_ptr<dynamic_library> dynamic_library::open(const std::string& path,
                                                       std::string& error) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* message = ::dlerror();
        error = message != nullptr ? message : "cannot load " + path;
        return nullptr;
    }
    return std::unique_ptr<dynamic_library>(new dynamic_library(handle));
}

dynamic_library::~dynamic_library() { ::dlclose(handle_); }

void* dynamic_library::symbol(const char* name) const { return ::dlsym(handle_, name); }

} // namespace quorin::host::os
