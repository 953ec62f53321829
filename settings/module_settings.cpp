#include "settings/module_settings.h"

namespace quorin {

module_settings_record module_settings;

} // namespace quorin
