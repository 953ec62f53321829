#include "origin/origin_client.h"

#include <array>
#include <curl/curl.h>
#include <fstream>
#include <string_view>

#include "base/text.h"

namespace quorin::host {
namespace {

// Redirects followed within the origin before the fetch counts as failed.
constexpr int most_redirects = 5;
// Handles kept for reuse; more are closed when given back.
constexpr std::size_t most_idle_handles = 32;
// What the signature says of an empty request body.
constexpr std::string_view empty_body_digest =
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

// One exchange's state, as libcurl's callbacks see it.
struct transfer {
    CURL* curl = nullptr;
    const std::filesystem::path* file = nullptr;
    std::uint64_t max_bytes = 0;
    std::ofstream body;
    bool opened = false;
    std::uint64_t bytes = 0;
    bool too_large = false;
    bool unwritable = false;
    version_tags tags;
};

std::size_t take_header(char* data, std::size_t size, std::size_t count, void* user) {
    auto& state = *static_cast<transfer*>(user);
    const std::string_view line(data, size * count);
    // Each answer (a redirect's, then the final one) starts with its status line.
    if (line.starts_with("HTTP/")) state.tags = {};
    const auto colon = line.find(':');
    if (colon != std::string_view::npos) {
        const std::string_view name = line.substr(0, colon);
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && (value.back() == '\r' || value.back() == '\n'))
            value.remove_suffix(1);
        value = trimmed(value);
        if (equal_ignoring_case(name, "etag")) state.tags.etag = value;
        if (equal_ignoring_case(name, "last-modified")) state.tags.last_modified = value;
    }
    return size * count;
}

std::size_t take_body(char* data, std::size_t size, std::size_t count, void* user) {
    auto& state = *static_cast<transfer*>(user);
    const std::size_t length = size * count;
    state.bytes += length;
    // Counted for every answer, so that no body of any kind is read past the limit.
    if (state.bytes > state.max_bytes) {
        state.too_large = true;
        return 0;
    }
    long status = 0;
    curl_easy_getinfo(state.curl, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) return length;
    if (!state.opened) {
        state.body.open(*state.file, std::ios::binary | std::ios::trunc);
        state.opened = true;
    }
    state.body.write(data, static_cast<std::streamsize>(length));
    if (!state.body) {
        state.unwritable = true;
        return 0;
    }
    return length;
}

bool is_redirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

struct origin_client::shared_state {
    CURLSH* share = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;

    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
        static_cast<shared_state*>(user)->locks[data].lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* user) {
        static_cast<shared_state*>(user)->locks[data].unlock();
    }
};

origin_client::origin_client(origin_location origin, origin_limits limits)
    : origin_(std::move(origin)), limits_(limits), shared_(std::make_unique<shared_state>()) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    // Name lookups and TLS sessions are shared by every handle; each
    // handle keeps its own connections, and handles are reused.
    shared_->share = curl_share_init();
    curl_share_setopt(shared_->share, CURLSHOPT_LOCKFUNC, &shared_state::lock);
    curl_share_setopt(shared_->share, CURLSHOPT_UNLOCKFUNC, &shared_state::unlock);
    curl_share_setopt(shared_->share, CURLSHOPT_USERDATA, shared_.get());
    curl_share_setopt(shared_->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(shared_->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
}

origin_client::~origin_client() {
    for (void* handle : idle_) curl_easy_cleanup(static_cast<CURL*>(handle));
    curl_share_cleanup(shared_->share);
}

void* origin_client::take_handle() {
    {
        const std::lock_guard lock(mutex_);
        if (!idle_.empty()) {
            void* handle = idle_.back();
            idle_.pop_back();
            return handle;
        }
    }
    return curl_easy_init();
}

void origin_client::give_back(void* handle) {
    // Options are cleared; the handle's open connections stay for the next.
    curl_easy_reset(static_cast<CURL*>(handle));
    {
        const std::lock_guard lock(mutex_);
        if (idle_.size() < most_idle_handles) {
            idle_.push_back(handle);
            return;
        }
    }
    curl_easy_cleanup(static_cast<CURL*>(handle));
}

fetch_outcome origin_client::fetch(const std::filesystem::path& relative, const version_tags& known,
                                   const std::filesystem::path& body_file) {
    const auto start = std::chrono::steady_clock::now();
    CURL* curl = static_cast<CURL*>(take_handle());
    fetch_outcome outcome;
    if (curl == nullptr) {
        counters_.record(outcome, std::chrono::steady_clock::now() - start);
        return outcome;
    }

    curl_slist* headers = nullptr;
    // The tag alone when there is one: HTTP has a server ignore the date
    // beside it, but some S3-compatible servers weigh both, and answer 304
    // for a new version stored within the second of the old one.
    if (!known.etag.empty()) {
        headers = curl_slist_append(headers, ("If-None-Match: " + known.etag).c_str());
    } else if (!known.last_modified.empty()) {
        headers = curl_slist_append(headers, ("If-Modified-Since: " + known.last_modified).c_str());
    }
    if (!origin_.region.empty()) {
        headers = curl_slist_append(
            headers, ("x-amz-content-sha256: " + std::string(empty_body_digest)).c_str());
        if (!origin_.keys.session_token.empty()) {
            headers = curl_slist_append(
                headers, ("x-amz-security-token: " + origin_.keys.session_token).c_str());
        }
    }
    const std::string signing = "aws:amz:" + origin_.region + ":s3";
    const auto timeout_ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(limits_.timeout).count());

    transfer state;
    state.curl = curl;
    state.file = &body_file;
    state.max_bytes = limits_.max_bytes;
    std::string url = source_url(origin_, relative);
    for (int hop = 0;; ++hop) {
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_SHARE, shared_->share);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeout_ms);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, timeout_ms);
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                         static_cast<curl_off_t>(limits_.max_bytes));
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &take_header);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &state);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &take_body);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &state);
        if (!origin_.user.empty() || !origin_.password.empty()) {
            curl_easy_setopt(curl, CURLOPT_USERNAME, origin_.user.c_str());
            curl_easy_setopt(curl, CURLOPT_PASSWORD, origin_.password.c_str());
        }
        if (!origin_.region.empty()) {
            curl_easy_setopt(curl, CURLOPT_USERNAME, origin_.keys.access_key.c_str());
            curl_easy_setopt(curl, CURLOPT_PASSWORD, origin_.keys.secret_key.c_str());
            curl_easy_setopt(curl, CURLOPT_AWS_SIGV4, signing.c_str());
        }
        state.bytes = 0;
        const CURLcode code = curl_easy_perform(curl);
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        if (code == CURLE_OPERATION_TIMEDOUT) {
            outcome.result = fetch_result::timed_out;
        } else if (state.too_large || code == CURLE_FILESIZE_EXCEEDED) {
            outcome.result = status == 200 ? fetch_result::too_large : fetch_result::failed;
        } else if (code != CURLE_OK || state.unwritable) {
            outcome.result = fetch_result::failed;
        } else if (is_redirect(status)) {
            char* target = nullptr;
            curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &target);
            if (target == nullptr || !same_origin(origin_, target)) {
                outcome.result = fetch_result::redirect_refused;
            } else if (hop < most_redirects) {
                url = target;
                continue;
            }
        } else if (status == 200) {
            if (!state.opened) state.body.open(body_file, std::ios::binary | std::ios::trunc);
            state.body.close();
            outcome.result = state.body ? fetch_result::fetched : fetch_result::failed;
            outcome.bytes = state.bytes;
        } else if (status == 304) {
            outcome.result = fetch_result::not_modified;
        } else if (status == 404 || status == 410) {
            outcome.result = fetch_result::missing;
        }
        break;
    }
    if (outcome.result == fetch_result::fetched || outcome.result == fetch_result::not_modified)
        outcome.tags = state.tags;
    curl_slist_free_all(headers);
    give_back(curl);
    counters_.record(outcome, std::chrono::steady_clock::now() - start);
    return outcome;
}

} // namespace quorin::host
