// A private copy of the module file, loaded with its own settings file
// beside it, reached only through the public contract.
#pragma once

#include <filesystem>
#include <string>

#include "trelvane_module.h"

namespace quorin::test {

#ifdef _WIN32
inline constexpr const char* module_file_name = "quorin.dll";
#else
inline constexpr const char* module_file_name = "quorin.so";
#endif

class loaded_module {
public:
    // Copies the module into directory and loads the copy. The directory
    // gets the settings text as "quorin.setting" unless it is empty.
    loaded_module(const std::filesystem::path& module_file, const std::filesystem::path& directory,
                  const std::string& settings);
    ~loaded_module();
    loaded_module(const loaded_module&) = delete;
    loaded_module& operator=(const loaded_module&) = delete;

    template <typename T>
    T& slot(const char* name) const {
        return *static_cast<T*>(symbol(name));
    }
    template <typename F>
    F function(const char* name) const {
        return reinterpret_cast<F>(symbol(name));
    }

private:
    void* symbol(const char* name) const;

    // The system's loader, one file per platform. open_library throws when
    // the file does not load; library_symbol gives null for a missing name.
    static void* open_library(const std::filesystem::path& file);
    static void close_library(void* handle);
    static void* library_symbol(void* handle, const char* name);

    void* handle_;
};

} // namespace quorin::test
