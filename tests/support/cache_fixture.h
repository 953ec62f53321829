// A cache root in a temporary directory, installed in the settings record
// while the fixture lives, with the fake image library in place.
#pragma once

#include <filesystem>
#include <string>

#include "settings/module_settings.h"
#include "support/fake_host.h"
#include "support/temp_dir.h"

namespace quorin::test {

class cache_fixture {
public:
    cache_fixture();
    ~cache_fixture();

    // Creates the leaf directory that a cache file path lies in.
    void create_leaf_for(const wide_string& cache_path) const;

    const std::filesystem::path& root() const { return dir_.path(); }

private:
    temp_dir dir_;
    fake_image_library library_;
    module_settings_record saved_;
};

} // namespace quorin::test
