#include "serving/conditional_request.h"

#include <array>
#include <chrono>

#include "base/file_time.h"
#include "base/hex_digit.h"
#include "base/text.h"
#include "chain/http_exchange.h"

namespace quorin::host {
namespace {

// If-Match compares strongly: a weak tag never matches. If-None-Match
// compares weakly: a W/ prefix on the client's tag is ignored.
enum class comparison { strong, weak };

bool list_contains(std::string_view list, std::string_view etag, comparison how) {
    while (!list.empty()) {
        const auto comma = list.find(',');
        std::string_view tag = trimmed(list.substr(0, comma));
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        if (tag == "*") return true;
        if (how == comparison::weak && tag.substr(0, 2) == "W/") tag.remove_prefix(2);
        if (tag == etag) return true;
    }
    return false;
}

} // namespace

std::string cache_control_line(unsigned max_age_seconds) {
    if (max_age_seconds == 0) return "Cache-Control: no-cache\r\n";
    return "Cache-Control: public, max-age=" + std::to_string(max_age_seconds) + "\r\n";
}

precondition evaluate_preconditions(const http_request& request, std::string_view etag,
                                    std::uint64_t source_time) {
    using namespace std::chrono;
    const auto source_seconds =
        floor<seconds>(ticks(static_cast<std::int64_t>(source_time)) - file_time_epoch_offset)
            .count();
    // A date that does not parse is ignored.
    if (!request.if_match.empty()) {
        if (!list_contains(request.if_match, etag, comparison::strong)) return precondition::failed;
    } else if (const auto since = parse_http_date(request.if_unmodified_since);
               since && source_seconds > *since) {
        return precondition::failed;
    }
    if (!request.if_none_match.empty()) {
        return list_contains(request.if_none_match, etag, comparison::weak)
                   ? precondition::not_modified
                   : precondition::proceed;
    }
    const auto since = parse_http_date(request.if_modified_since);
    return since && *since >= source_seconds ? precondition::not_modified : precondition::proceed;
}

} // namespace quorin::host
