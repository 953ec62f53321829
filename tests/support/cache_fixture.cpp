#include "support/cache_fixture.h"

#include "platform/text.h"

namespace quorin::test {

cache_fixture::cache_fixture() : saved_(module_settings) {
    module_settings.cache_root = dir_.str();
    module_settings.cache_root_wide = platform::decode_utf8(dir_.str());
}

cache_fixture::~cache_fixture() { module_settings = saved_; }

void cache_fixture::create_leaf_for(const std::u16string& cache_path) const {
    std::filesystem::create_directories(
        std::filesystem::path(platform::encode_utf8(cache_path)).parent_path());
}

} // namespace quorin::test
