#include "support/cache_fixture.h"

#include "platform/text.h"
#include "support/native_path.h"

namespace quorin::test {

cache_fixture::cache_fixture() : saved_(module_settings) {
    module_settings.cache_root = dir_.str();
    module_settings.cache_root_wide = platform::decode_utf8(dir_.str());
}

cache_fixture::~cache_fixture() { module_settings = saved_; }

void cache_fixture::create_leaf_for(const wide_string& cache_path) const {
    std::filesystem::create_directories(file_path_of(cache_path).parent_path());
}

} // namespace quorin::test
