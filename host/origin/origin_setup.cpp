#include "origin/origin_setup.h"

#include "origin/bucket_keys.h"

namespace quorin::host {
namespace {

std::optional<origin_location> locate(const origin_config& config, std::string& error) {
    constexpr std::string_view bucket_scheme = "s3://";
    if (!config.origin.starts_with(bucket_scheme)) return http_origin(config.origin, error);
    bucket_credentials keys;
    if (config.s3_credentials.empty()) {
        keys = keys_from_environment();
    } else if (auto from_file = keys_from_file(config.s3_credentials)) {
        keys = std::move(*from_file);
    } else {
        error = "no [default] profile in " + config.s3_credentials.string();
        return std::nullopt;
    }
    const bucket_address address{config.origin.substr(bucket_scheme.size()), config.s3_endpoint,
                                 config.s3_region, config.s3_path_style};
    return bucket_origin(address, std::move(keys), error);
}

} // namespace

std::unique_ptr<origin_sources> open_origin(const origin_config& config, std::string& error) {
    auto location = locate(config, error);
    if (!location) return nullptr;
    std::unique_ptr<copy_store> store;
    try {
        store = std::make_unique<copy_store>(config.source_cache);
    } catch (const std::filesystem::filesystem_error&) {
        error = "cannot keep source copies in " + config.source_cache.string();
        return nullptr;
    }
    return std::make_unique<origin_sources>(
        std::make_unique<origin_client>(std::move(*location), config.limits), std::move(store),
        config.source_cache_bytes, config.rules);
}

} // namespace quorin::host
