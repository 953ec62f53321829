#include "support/loaded_module.h"

#include <stdexcept>

#include "support/temp_dir.h"

namespace quorin::test {

loaded_module::loaded_module(const std::filesystem::path& module_file,
                             const std::filesystem::path& directory, const std::string& settings) {
    const auto copy = directory / module_file_name;
    std::filesystem::copy_file(module_file, copy,
                               std::filesystem::copy_options::overwrite_existing);
    if (!settings.empty()) write_file(directory / "quorin.setting", settings);
    handle_ = open_library(copy);
}

loaded_module::~loaded_module() { close_library(handle_); }

void* loaded_module::symbol(const char* name) const {
    void* address = library_symbol(handle_, name);
    if (address == nullptr) throw std::runtime_error(std::string("missing symbol ") + name);
    return address;
}

} // namespace quorin::test
