#include "support/loaded_module.h"

#include <stdexcept>
#include <windows.h>

#include "support/temp_dir.h"

namespace quorin::test {

loaded_module::loaded_module(const std::filesystem::path& module_file,
                             const std::filesystem::path& directory, const std::string& settings) {
    const auto copy = directory / module_file_name;
    std::filesystem::copy_file(module_file, copy, std::filesystem::copy_options::overwrite_existing);
    if (!settings.empty()) write_file(directory / "quorin.setting", settings);
    handle_ = ::LoadLibraryW(copy.c_str());
    if (handle_ == nullptr) {
        throw std::runtime_error("cannot load " + copy.string() + ": error " + std::to_string(::GetLastError()));
    }
}

loaded_module::~loaded_module() { ::FreeLibrary(static_cast<HMODULE>(handle_)); }

void* loaded_module::symbol(const char* name) const {
    void* address = reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
    if (address == nullptr) throw std::runtime_error(std::string("missing symbol ") + name);
    return address;
}

} // namespace quorin::test
