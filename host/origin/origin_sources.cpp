#include "origin/origin_sources.h"

#include <atomic>
#include <curl/curl.h>

#include "base/loop_threads.h"

namespace quorin::host {
namespace {

using steady = std::chrono::steady_clock;

std::int64_t ticks_of(steady::time_point time) { return time.time_since_epoch().count(); }

// The time of a version as the origin dates it; nullopt when it gives no
// date libcurl can read.
std::optional<std::filesystem::file_time_type> origin_date(const version_tags& tags) {
    if (tags.last_modified.empty()) return std::nullopt;
    const time_t seconds = curl_getdate(tags.last_modified.c_str(), nullptr);
    if (seconds == -1) return std::nullopt;
    return std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(seconds));
}

} // namespace

struct origin_sources::source_state {
    std::mutex asking;                      // held by the one request that asks the origin
    version_tags tags;                      // of the copy; under asking
    std::atomic<bool> kept{false};          // a copy is in the store
    std::atomic<std::int64_t> confirmed{0}; // steady ticks of its last confirmation; 0: never
    std::atomic<std::uint64_t> attempts{0}; // answers asked for so far
    source_lookup::result last_answer = source_lookup::result::missing; // under asking

    bool confirmed_within(std::chrono::seconds age, steady::time_point now) const {
        const auto at = confirmed.load(std::memory_order_acquire);
        return at != 0 && now.time_since_epoch() - steady::duration(at) <= age;
    }
};

origin_sources::origin_sources(std::unique_ptr<origin_client> client,
                               std::unique_ptr<copy_store> store, std::uint64_t copy_bytes,
                               freshness_rules rules)
    : client_(std::move(client)), store_(std::move(store)), rules_(rules), copies_(copy_bytes) {
    const auto now = steady::now();
    const auto wall = std::chrono::system_clock::now();
    for (auto& copy : store_->kept_copies()) {
        auto state = std::make_shared<source_state>();
        state->tags = copy.tags;
        state->kept = true;
        state->last_answer = source_lookup::result::found;
        // Dated by its last confirmation, so that the stale window holds
        // across a restart.
        const auto age = std::max(wall - copy.confirmed, std::chrono::system_clock::duration(0));
        state->confirmed = std::max<std::int64_t>(
            1, ticks_of(now - std::chrono::duration_cast<steady::duration>(age)));
        const std::string key = copy.relative.generic_string();
        copies_.put(key, copy.bytes);
        states_.emplace(key, std::move(state));
    }
}

origin_sources::~origin_sources() = default;

std::shared_ptr<origin_sources::source_state> origin_sources::state_of(const std::string& key) {
    const std::lock_guard lock(mutex_);
    auto& state = states_[key];
    if (!state) state = std::make_shared<source_state>();
    if (state->kept) copies_.touch(key);
    return state;
}

void origin_sources::forget_if_unkept(const std::string& key,
                                      const std::shared_ptr<source_state>& state) {
    const std::lock_guard lock(mutex_);
    const auto found = states_.find(key);
    if (found != states_.end() && found->second == state && !state->kept) states_.erase(found);
}

source_lookup origin_sources::find(std::string_view url_path) {
    source_lookup refused;
    const auto relative = relative_path_of(url_path, refused.outcome);
    if (!relative) return refused;
    const std::string& key = *relative;
    const auto state = state_of(key);
    // Taken before the look at the confirmation: an answer that comes
    // after it counts as this request's own.
    const auto seen = state->attempts.load();

    // Confirmed lately: no word with the origin.
    if (state->kept && state->confirmed_within(rules_.revalidate, steady::now())) {
        auto lookup = find_source(store_->root(), url_path);
        if (lookup.outcome == source_lookup::result::found) return lookup;
    }

    source_lookup lookup;
    {
        // Asking the origin, or waiting for another request that does, may
        // take long: a stand-in serves the loop meanwhile.
        const blocking_region waiting;
        std::unique_lock lock(state->asking);
        // Asked while this request waited: that answer is this one's too.
        if (state->attempts.load() == seen) ask_origin(*state, *relative, key);
        lookup = conclude(*state, url_path);
    }
    forget_if_unkept(key, state);
    return lookup;
}

void origin_sources::ask_origin(source_state& state, const std::filesystem::path& relative,
                                const std::string& key) {
    const auto temp = store_->temp_file();
    // A copy that went (dropped by another's store) is fetched whole.
    const bool kept = state.kept && store_->source_time(relative).has_value();
    const auto outcome = client_->fetch(relative, kept ? state.tags : version_tags{}, temp);
    switch (outcome.result) {
    case fetch_result::not_modified:
        if (!kept) {
            state.last_answer = source_lookup::result::unavailable;
            break;
        }
        store_->confirm(relative);
        state.confirmed = ticks_of(steady::now());
        state.last_answer = source_lookup::result::found;
        break;
    case fetch_result::fetched: {
        // A version the origin does not date is dated when its tag was
        // first seen.
        auto time = origin_date(outcome.tags);
        if (!time && kept && !outcome.tags.etag.empty() && outcome.tags.etag == state.tags.etag)
            time = store_->source_time(relative);
        if (!store_->keep(relative, temp, outcome.tags,
                          time.value_or(std::chrono::file_clock::now()))) {
            state.last_answer = source_lookup::result::unavailable;
            break;
        }
        state.tags = outcome.tags;
        state.kept = true;
        state.confirmed = ticks_of(steady::now());
        state.last_answer = source_lookup::result::found;
        account(key, outcome.bytes);
        break;
    }
    case fetch_result::missing:
    case fetch_result::too_large:
        drop(key, state);
        state.last_answer = outcome.result == fetch_result::missing
                                ? source_lookup::result::missing
                                : source_lookup::result::too_large;
        break;
    case fetch_result::timed_out:
        state.last_answer = source_lookup::result::timed_out;
        break;
    case fetch_result::failed:
    case fetch_result::redirect_refused:
        state.last_answer = source_lookup::result::unavailable;
        break;
    }
    std::error_code error;
    std::filesystem::remove(temp, error);
    state.attempts.fetch_add(1);
}

source_lookup origin_sources::conclude(const source_state& state, std::string_view url_path) {
    const bool failed = state.last_answer == source_lookup::result::unavailable ||
                        state.last_answer == source_lookup::result::timed_out;
    const bool stale_allowed =
        failed && state.kept && state.confirmed_within(rules_.stale_if_error, steady::now());
    if (state.last_answer == source_lookup::result::found || stale_allowed) {
        auto lookup = find_source(store_->root(), url_path);
        if (stale_allowed && lookup.outcome == source_lookup::result::found)
            client_->counters().record_stale_answer();
        return lookup;
    }
    source_lookup refused;
    refused.outcome = state.last_answer;
    return refused;
}

void origin_sources::account(const std::string& key, std::uint64_t bytes) {
    const std::lock_guard lock(mutex_);
    copies_.put(key, bytes);
    for (const auto& oldest : copies_.oldest_first()) {
        if (!copies_.over_bound()) break;
        if (oldest == key) continue;
        const auto found = states_.find(oldest);
        if (found == states_.end()) {
            store_->remove(oldest);
            copies_.erase(oldest);
            continue;
        }
        // A copy being revalidated stays; the next store drops it.
        std::unique_lock victim(found->second->asking, std::try_to_lock);
        if (!victim) continue;
        store_->remove(oldest);
        found->second->kept = false;
        copies_.erase(oldest);
        victim.unlock();
        states_.erase(found);
    }
}

void origin_sources::drop(const std::string& key, source_state& state) {
    if (!state.kept) return;
    store_->remove(key);
    state.kept = false;
    const std::lock_guard lock(mutex_);
    copies_.erase(key);
}

} // namespace quorin::host
