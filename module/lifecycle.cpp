// Loaded and Unloaded: configuring the module from its settings file, and
// the life of the expiry thread.
#include <string>

#include "cache/cache_tree.h"
#include "module/expiry_thread_control.h"
#include "module/resolve_path.h"
#include "module/utf8_to_utf16.h"
#include "platform/env.h"
#include "platform/paths.h"
#include "settings/load_settings.h"
#include "settings/module_settings.h"
#include "settings/mxml.h"
#include "trelvane_module.h"

namespace {

constexpr const char settings_file_name[] = "quorin.setting";

void set_defaults(quorin::module_settings_record& settings) {
    settings.cache_folder_path.clear();
    settings.interval = 300;
    settings.cache_delete_time = 104400;
    settings.base_time = quorin::creation;
}

} // namespace

extern "C" {

bool Loaded() {
    using namespace quorin;
    // The platform finds this code's own file: on Windows through the handle
    // the attach hook kept, on Linux through the dynamic loader (absolute,
    // however the host opened it, and whatever its length).
    const std::string module_directory =
        platform::remove_file_spec(platform::current_env().module_file_path());
    const std::string settings_path =
        module_directory + platform::path_separator + settings_file_name;

    // A second Loaded without Unloaded: the running sweeper reads the record
    // about to be rewritten, so it ends first.
    stop_expiry_thread();

    set_defaults(module_settings);
    try {
        load_settings(settings_path, module_settings);
    } catch (const MXML::SyntaxException&) {
        return false;
    } catch (const load_exception&) {
        return false;
    }
    if (module_settings.cache_folder_path.empty()) return false;

    module_settings.cache_root = resolve_path(module_settings.cache_folder_path, module_directory);
    module_settings.cache_root_wide = utf8_to_utf16(module_settings.cache_root);
    create_cache_tree(module_settings.cache_root);
    if (!module_settings.log_file_path.empty()) {
        module_settings.log_path = resolve_path(module_settings.log_file_path, module_directory);
    }
    start_expiry_thread();
    return true;
}

bool Unloaded() {
    quorin::stop_expiry_thread();
    return true;
}

} // extern "C"
