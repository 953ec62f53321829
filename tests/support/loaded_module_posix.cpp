#include "support/loaded_module.h"

#include <dlfcn.h>
#include <stdexcept>

namespace quorin::test {

void* loaded_module::open_library(const std::filesystem::path& file) {
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error(::dlerror());
    return handle;
}

void loaded_module::close_library(void* handle) { ::dlclose(handle); }

void* loaded_module::library_symbol(void* handle, const char* name) {
    return ::dlsym(handle, name);
}

} // namespace quorin::test
