#include "support/loaded_module.h"

#include <windows.h>
#include <stdexcept>

namespace quorin::test {

void* loaded_module::open_library(const std::filesystem::path& file) {
    HMODULE handle = ::LoadLibraryW(file.c_str());
    if (handle == nullptr) {
        throw std::runtime_error("cannot load " + file.string() + ": error " +
                                 std::to_string(::GetLastError()));
    }
    return handle;
}

void loaded_module::close_library(void* handle) { ::FreeLibrary(static_cast<HMODULE>(handle)); }

void* loaded_module::library_symbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle), name));
}

} // namespace quorin::test
