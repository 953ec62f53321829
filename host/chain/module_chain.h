// The loaded modules, linked into one conversion chain per entry.
//
// For modules M1..Mn, each Mi's OnConvertNext, OnConvertWithTimeNext and
// OnConvertCoreNext slot holds the entry of the same name of Mi+1, and
// Mn's hold the host's own ends; requests enter at M1.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "trelvane_module.h"

namespace quorin::host::os {
class dynamic_library;
}

namespace quorin::host {

// The host's converters the chains end in.
struct chain_ends {
    OnConvertNext_t convert;
    OnConvertWithTimeNext_t convert_with_time;
    void* convert_core;
};

class module_chain {
public:
    // Loads the modules in order, fills every slot (the image-library table
    // included) and then calls Loaded on each. On any failure the modules
    // already started are unloaded again and `error` tells which module
    // failed and why; the result is null then.
    static std::unique_ptr<module_chain> load(const std::vector<std::filesystem::path>& modules,
                                              const chain_ends& ends,
                                              FreeImageFunction* image_library, std::string& error);

    // Calls Unloaded on every module, then closes them.
    ~module_chain();
    module_chain(const module_chain&) = delete;
    module_chain& operator=(const module_chain&) = delete;

    bool convert(EXTENSION_CONTROL_BLOCK* request, std::uint64_t a, std::uint64_t b,
                 std::uint64_t c) const;
    // The first module's OnConvertCore, to be called with the host's core
    // converter signature.
    void* convert_core() const;

    struct module;

private:
    module_chain() = default;
    void unload();

    std::vector<std::unique_ptr<module>> modules_;
    std::size_t started_ = 0;
};

// The settings file a module reads: "quorin.setting" beside it.
std::filesystem::path settings_file_of(const std::filesystem::path& module);

} // namespace quorin::host
