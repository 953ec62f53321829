// Sources fetched from an origin and kept as local copies. A copy the
// origin confirmed less than `revalidate` ago is served without asking it;
// an older one is revalidated with a conditional request, one request per
// source at a time while the others for it wait. A copy the origin cannot
// confirm (it fails or does not answer) is still served for
// `stale_if_error` after its last confirmation.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "origin/byte_lru.h"
#include "origin/copy_store.h"
#include "origin/origin_client.h"
#include "security/source_provider.h"

namespace quorin::host {

struct freshness_rules {
    std::chrono::seconds revalidate{60};
    std::chrono::seconds stale_if_error{3600};
};

class origin_sources final : public source_provider {
public:
    // Copies take at most `copy_bytes` (the least recently used go first;
    // the one just fetched always stays). Picks up the copies an earlier
    // run left in `store`.
    origin_sources(std::unique_ptr<origin_client> client, std::unique_ptr<copy_store> store,
                   std::uint64_t copy_bytes, freshness_rules rules);
    ~origin_sources() override;

    source_lookup find(std::string_view url_path) override;
    const source_root& root() const override { return store_->root(); }
    std::string shown() const override { return client_->location().shown(); }
    std::string metrics_text() const override { return client_->counters().render(); }

private:
    struct source_state;
    std::shared_ptr<source_state> state_of(const std::string& key);
    void ask_origin(source_state& state, const std::filesystem::path& relative,
                    const std::string& key);
    source_lookup conclude(const source_state& state, std::string_view url_path);
    void account(const std::string& key, std::uint64_t bytes);
    void drop(const std::string& key, source_state& state);
    void forget_if_unkept(const std::string& key, const std::shared_ptr<source_state>& state);

    std::unique_ptr<origin_client> client_;
    std::unique_ptr<copy_store> store_;
    const freshness_rules rules_;
    std::mutex mutex_;
    std::unordered_map<std::string, std::shared_ptr<source_state>> states_; // under mutex_
    byte_lru copies_;                                                       // under mutex_
};

} // namespace quorin::host
