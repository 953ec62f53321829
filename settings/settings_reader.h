// The parse context of the settings file: a small state machine that the
// XML handlers drive, writing the values it recognises into the record.
#pragma once

#include <cstdint>
#include <string>

#include "settings/module_settings.h"

namespace quorin {

enum reader_state : std::int32_t {
    expect_root = 0,
    in_root = 1,
    in_cache_folder_path = 2,
    in_cache_delete_time = 3,
};

struct settings_reader {
    reader_state state = expect_root;
    std::string text; // character data of the recognised element that is open
    module_settings_record* target = nullptr;
};

// The attribute list is the parser's name/value pairs, ended by a null name.
// Throws load_exception when the document's root is not "quorin".
void on_start_element(settings_reader& reader, const char* name, const char** attributes);
void on_end_element(settings_reader& reader, const char* name);
void on_character_data(settings_reader& reader, const char* bytes, int length);

// Assigns the value of the first attribute called name to target; leaves
// target alone when there is none.
void find_attribute(const char** attributes, const char* name, std::string& target);

} // namespace quorin
