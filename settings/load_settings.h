// Reads the settings file into the settings record.
#pragma once

#include <stdexcept>
#include <string>

#include "settings/module_settings.h"

namespace quorin {

// A well-formed settings document whose content is refused.
class load_exception : public std::domain_error {
public:
    explicit load_exception(const std::string& message) : std::domain_error(message) {}
};

// Overwrites the fields the file names; throws MXML::SyntaxException or
// load_exception (also when no parser can be created), leaving what was read
// before the failure in settings.
void load_settings(const std::string& path, module_settings_record& settings);

} // namespace quorin
