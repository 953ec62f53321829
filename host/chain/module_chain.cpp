#include "chain/module_chain.h"

#include "os/dynamic_library.h"

namespace quorin::host {

struct module_chain::module {
    std::filesystem::path path;
    std::unique_ptr<os::dynamic_library> library;
    Loaded_t loaded = nullptr;
    Unloaded_t unloaded = nullptr;
    // Entry addresses as the loader gives them; each is called through the
    // signature of the place it is used in.
    void* on_convert = nullptr;
    void* on_convert_with_time = nullptr;
    void* on_convert_core = nullptr;
    FreeImageFunction** image_library_slot = nullptr;
    OnConvertNext_t* convert_next = nullptr;
    OnConvertWithTimeNext_t* convert_with_time_next = nullptr;
    void** convert_core_next = nullptr;
};

namespace {

template <typename T>
bool find(const os::dynamic_library& library, const char* name, T& out, std::string& missing) {
    out = reinterpret_cast<T>(library.symbol(name));
    if (out == nullptr && missing.empty()) missing = name;
    return out != nullptr;
}

std::unique_ptr<module_chain::module> open_module(const std::filesystem::path& path,
                                                  std::string& error) {
    auto loaded = std::make_unique<module_chain::module>();
    loaded->path = path;
    std::string reason;
    loaded->library = os::dynamic_library::open(path.string(), reason);
    if (!loaded->library) {
        error = "cannot load module " + path.string() + ": " + reason;
        return nullptr;
    }
    const auto& library = *loaded->library;
    std::string missing;
    find(library, "Loaded", loaded->loaded, missing);
    find(library, "Unloaded", loaded->unloaded, missing);
    find(library, "OnConvert", loaded->on_convert, missing);
    find(library, "OnConvertWithTime", loaded->on_convert_with_time, missing);
    find(library, "OnConvertCore", loaded->on_convert_core, missing);
    find(library, "FreeImageAPI", loaded->image_library_slot, missing);
    find(library, "OnConvertNext", loaded->convert_next, missing);
    find(library, "OnConvertWithTimeNext", loaded->convert_with_time_next, missing);
    find(library, "OnConvertCoreNext", loaded->convert_core_next, missing);
    if (!missing.empty()) {
        error = "module " + path.string() + " does not export " + missing;
        return nullptr;
    }
    return loaded;
}

} // namespace

std::filesystem::path settings_file_of(const std::filesystem::path& module) {
    return module.parent_path() / "quorin.setting";
}

std::unique_ptr<module_chain> module_chain::load(const std::vector<std::filesystem::path>& modules,
                                                 const chain_ends& ends,
                                                 FreeImageFunction* image_library,
                                                 std::string& error) {
    std::unique_ptr<module_chain> chain(new module_chain());
    for (const auto& path : modules) {
        auto loaded = open_module(path, error);
        if (!loaded) return nullptr;
        // The loader hands out one instance per file: the same file twice
        // would link a module to itself.
        for (const auto& earlier : chain->modules_) {
            if (earlier->on_convert == loaded->on_convert) {
                error =
                    "module " + path.string() + " is given twice; use a copy under another name";
                return nullptr;
            }
        }
        chain->modules_.push_back(std::move(loaded));
    }
    if (chain->modules_.empty()) {
        error = "no module given";
        return nullptr;
    }

    // An OnConvert entry takes four arguments and the Next slot is called
    // with five: under the x86-64 calling conventions the fifth, the
    // previous module's output object, is passed in a register the callee
    // never reads, so a module's entry can stand in its predecessor's slot.
    for (std::size_t i = 0; i < chain->modules_.size(); ++i) {
        module& current = *chain->modules_[i];
        const module* next =
            i + 1 < chain->modules_.size() ? chain->modules_[i + 1].get() : nullptr;
        *current.image_library_slot = image_library;
        *current.convert_next =
            next ? reinterpret_cast<OnConvertNext_t>(next->on_convert) : ends.convert;
        *current.convert_with_time_next =
            next ? reinterpret_cast<OnConvertWithTimeNext_t>(next->on_convert_with_time)
                 : ends.convert_with_time;
        *current.convert_core_next = next ? next->on_convert_core : ends.convert_core;
    }

    for (const auto& current : chain->modules_) {
        if (!current->loaded()) {
            error = "module " + current->path.string() +
                    " did not start: check its settings file " +
                    settings_file_of(current->path).string();
            return nullptr;
        }
        ++chain->started_;
    }
    return chain;
}

void module_chain::unload() {
    for (std::size_t i = 0; i < started_; ++i) modules_[i]->unloaded();
    started_ = 0;
}

module_chain::~module_chain() {
    unload();
    // Closed last to first, each after every module was told to stop.
    while (!modules_.empty()) modules_.pop_back();
}

bool module_chain::convert(EXTENSION_CONTROL_BLOCK* request, std::uint64_t a, std::uint64_t b,
                           std::uint64_t c) const {
    return reinterpret_cast<OnConvert_t>(modules_.front()->on_convert)(request, a, b, c);
}

void* module_chain::convert_core() const { return modules_.front()->on_convert_core; }

} // namespace quorin::host
