// A shared library opened at run time, closed when the object goes.
#pragma once

#include <memory>
#include <string>

namespace quorin::host::os {

class dynamic_library {
public:
    // Opens the library with every symbol resolved now and kept private to
    // it. Null on failure, with the loader's message in `error`.
    static std::unique_ptr<dynamic_library> open(const std::string& path, std::string& error);

    ~dynamic_library();
    dynamic_library(const dynamic_library&) = delete;
    dynamic_library& operator=(const dynamic_library&) = delete;

    // Address of an exported function or data object; null when absent.
    void* symbol(const char* name) const;

private:
    explicit dynamic_library(void* handle) : handle_(handle) {}
    void* handle_;
};

} // namespace quorin::host::os
