#include "serving/request_handler.h"

#include <chrono>
#include <variant>

#include "base/file_time.h"
#include "base/hex_digit.h"
#include "chain/http_exchange.h"
#include "chain/module_chain.h"
#include "convert/conversion_job.h"
#include "imaging/format_negotiation.h"
#include "imaging/image_codec.h"
#include "imaging/source_facts.h"
#include "security/source_lookup.h"
#include "serving/conditional_request.h"
#include "serving/gallery.h"

namespace quorin::host {
namespace {

// Error texts may quote the path or a parameter: every byte outside
// printable ASCII, and '%', goes out as %HH, so that no request byte
// reaches the client unescaped.
std::string escaped_text(std::string_view message) {
    std::string text;
    for (const char c : message) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < ' ' || byte > '~' || c == '%') {
            text += '%';
            text += upper_hex_digit(byte >> 4);
            text += upper_hex_digit(byte);
        } else {
            text += c;
        }
    }
    return text;
}

request_kind send_error(http_exchange& exchange, std::string_view status_text,
                        const std::string& message, std::string_view extra_headers = {}) {
    exchange.send(status_text, "text/plain; charset=utf-8", escaped_text(message) + "\n",
                  extra_headers);
    return request_kind::error;
}

// The kind of an image answer from its cache outcome; `error` when none.
request_kind kind_of(cache_outcome outcome) {
    switch (outcome) {
    case cache_outcome::hit:
        return request_kind::hit;
    case cache_outcome::stored:
        return request_kind::stored;
    case cache_outcome::direct:
        return request_kind::direct;
    case cache_outcome::none:
        break;
    }
    return request_kind::error;
}

std::string_view outcome_name(cache_outcome outcome, int status) {
    if (status == 304) return "304";
    switch (outcome) {
    case cache_outcome::hit:
        return "hit";
    case cache_outcome::stored:
        return "stored";
    case cache_outcome::direct:
        return "direct";
    case cache_outcome::none:
        break;
    }
    return "-";
}

std::string_view status_text_of(int status) {
    switch (status) {
    case 400:
        return "400 Bad Request";
    case 415:
        return "415 Unsupported Media Type";
    case 404:
        return "404 Not Found";
    case 422:
        return "422 Unprocessable Content";
    case conversion_timeout_status:
        // The worker is the server's upstream, and it did not answer in
        // time; the same request may well succeed on a less busy server.
        return "504 Gateway Timeout";
    default:
        return "500 Internal Server Error";
    }
}

std::string failure_message(int status, const std::string& path, output_format format) {
    switch (status) {
    case 400:
        return "the crop lies outside " + path;
    case 404:
        return "no image at " + path;
    case 415:
        return path + " could not be decoded";
    case 422:
        return path + " has more than " + std::to_string(max_source_pixels / 1'000'000) +
               " megapixels";
    case conversion_timeout_status:
        return path + " took too long to convert";
    default:
        return path + " could not be converted to " + std::string(format_name(format));
    }
}

} // namespace

request_handler::request_handler(std::filesystem::path images_root, const module_chain& chain,
                                 conversion_admission& admission, access_log& log,
                                 serving_policy policy, conversion_workers* workers)
    : own_sources_(std::make_unique<directory_sources>(std::move(images_root))),
      provider_(*own_sources_), chain_(chain), admission_(admission), log_(log),
      policy_(std::move(policy)), workers_(workers) {}

request_handler::request_handler(source_provider& sources, const module_chain& chain,
                                 conversion_admission& admission, access_log& log,
                                 serving_policy policy, conversion_workers* workers)
    : provider_(sources), chain_(chain), admission_(admission), log_(log),
      policy_(std::move(policy)), workers_(workers) {}

request_handler::answer_record request_handler::handle(http_exchange& exchange) {
    answer_record record{std::chrono::system_clock::now(), std::chrono::steady_clock::now()};
    if (exchange.request().path == "/healthz") {
        // A probe, not an image request: logged but left out of the counts.
        answer_health(exchange);
        record.counted = false;
    } else {
        cache_outcome outcome = cache_outcome::none;
        const request_kind kind = route(exchange, outcome);
        // Counted before the answer leaves, so that a client that asks for
        // the metrics right after its answer finds that answer counted.
        metrics_.record_request(kind);
        if (kind == request_kind::stored) metrics_.record_stored(exchange.content_length());
        record.outcome = outcome_name(outcome, exchange.status());
    }
    exchange.finish();
    return record;
}

void request_handler::record_sent(const http_exchange& exchange, const answer_record& record,
                                  std::uint64_t bytes_sent) {
    const std::uint64_t body_sent =
        bytes_sent > exchange.header_bytes() ? bytes_sent - exchange.header_bytes() : 0;
    if (record.counted) metrics_.record_body_bytes(body_sent);
    if (!log_.enabled()) return;
    log_.write(access_line(exchange.request(), record.received, exchange.status(), body_sent,
                           record.outcome, std::chrono::steady_clock::now() - record.start));
}

namespace {

// One answer in the making: the request record the modules answer
// through, and what its log line needs.
struct exchange_answer final : http_handler::answer {
    exchange_answer(const http_request& request, answer_sink out)
        : exchange(request, std::move(out)) {}
    http_exchange exchange;
    request_handler::answer_record record;
};

} // namespace

std::unique_ptr<http_handler::answer> request_handler::respond(const http_request& request,
                                                               answer_sink out) {
    auto made = std::make_unique<exchange_answer>(request, std::move(out));
    made->record = handle(made->exchange);
    return made;
}

void request_handler::sent(http_handler::answer& made, std::uint64_t bytes_sent) {
    auto& answered = static_cast<exchange_answer&>(made);
    record_sent(answered.exchange, answered.record, bytes_sent);
}

void request_handler::refused(const http_request& seen, int status, std::uint64_t body_bytes_sent,
                              std::chrono::steady_clock::duration time) {
    metrics_.record_request(request_kind::error);
    metrics_.record_body_bytes(body_bytes_sent);
    if (!log_.enabled()) return;
    log_.write(access_line(seen, std::chrono::system_clock::now() - time, status, body_bytes_sent,
                           "-", time));
}

void request_handler::answer_health(http_exchange& exchange) {
    const bool draining = draining_.load(std::memory_order_relaxed);
    // The 503, an error answer, gets no-store from the exchange.
    exchange.send(draining ? "503 Service Unavailable" : "200 OK", "text/plain; charset=utf-8",
                  draining ? "draining\n" : "ok\n", draining ? "" : "Cache-Control: no-store\r\n");
}

request_kind request_handler::refuse(http_exchange& exchange, refusal cause,
                                     std::string_view status_text, const std::string& message,
                                     std::string_view extra_headers) {
    metrics_.record_refusal(cause);
    return send_error(exchange, status_text, message, extra_headers);
}

request_kind request_handler::refuse_admission(http_exchange& exchange, admission_verdict verdict,
                                               const std::string& path) {
    if (verdict == admission_verdict::too_large) {
        return refuse(exchange, refusal::memory, "422 Unprocessable Content",
                      path + " is too large for the conversion memory");
    }
    // Busy for now: a client may come back in a moment.
    return refuse(exchange,
                  verdict == admission_verdict::queue_full ? refusal::queue_full
                                                           : refusal::queue_wait,
                  "503 Service Unavailable", "too many conversions are waiting; try again shortly",
                  "Retry-After: 1\r\n");
}

request_kind request_handler::refuse_lookup(http_exchange& exchange,
                                            source_lookup::result outcome) {
    const std::string& path = exchange.request().path;
    switch (outcome) {
    case source_lookup::result::escapes:
        return refuse(exchange, refusal::path, "403 Forbidden",
                      "the path leads out of the images directory");
    case source_lookup::result::too_large:
        return send_error(exchange, "422 Unprocessable Content",
                          path + " is larger than this server fetches");
    case source_lookup::result::unavailable:
        return send_error(exchange, "502 Bad Gateway", "the origin of " + path + " failed");
    case source_lookup::result::timed_out:
        return send_error(exchange, "504 Gateway Timeout",
                          "the origin of " + path + " did not answer in time");
    case source_lookup::result::found:
    case source_lookup::result::missing:
        break;
    }
    return send_error(exchange, "404 Not Found", "no image at " + path);
}

request_kind request_handler::route(http_exchange& exchange, cache_outcome& outcome) {
    const http_request& request = exchange.request();
    if (request.method != "GET" && request.method != "HEAD") {
        return send_error(exchange, "405 Method Not Allowed", "only GET and HEAD are served here",
                          "Allow: GET, HEAD\r\n");
    }
    if (request.path == "/") {
        exchange.send("200 OK", "text/html; charset=utf-8",
                      gallery_page(gallery_entries(provider_.root(), gallery_limit),
                                   policy_.signer ? &*policy_.signer : nullptr));
        return request_kind::page;
    }
    if (request.path == "/metrics") {
        exchange.send("200 OK", "text/plain; version=0.0.4; charset=utf-8",
                      metrics_.render() + provider_.metrics_text());
        return request_kind::page;
    }
    return answer_image(exchange, outcome);
}

request_kind request_handler::answer_image(http_exchange& exchange, cache_outcome& outcome) {
    const http_request& request = exchange.request();
    // Before the source's identity is asked, as the facts memo takes it.
    const auto now = std::chrono::system_clock::now();
    // Checked first, so that an unsigned flood costs no file system call.
    if (policy_.signer && !policy_.signer->verify(request.path, request.query)) {
        return refuse(exchange, refusal::signature, "403 Forbidden",
                      "this server serves signed image URLs only");
    }
    source_lookup lookup = provider_.find(request.path);
    if (lookup.outcome != source_lookup::result::found)
        return refuse_lookup(exchange, lookup.outcome);

    auto parsed = parse_parameters(policy_.signer ? canonical_query(request.query)
                                                  : std::string(request.query));
    if (const auto* message = std::get_if<std::string>(&parsed)) {
        return refuse(exchange, refusal::parameters, "400 Bad Request", *message);
    }
    conversion_job job;
    job.parameters = std::get<conversion_parameters>(parsed);
    if (policy_.sizes && !policy_.sizes->allows(job.parameters.width, job.parameters.height)) {
        return refuse(exchange, refusal::size, "400 Bad Request",
                      "w and h must be one of the boxes " + policy_.sizes->listing());
    }

    // A source found by its status alone is opened only when its bytes
    // are needed: for facts not yet remembered, or for a conversion.
    const auto opened_source = [this, &lookup]() -> const os::read_only_file* {
        if (!lookup.opened) open_found(provider_.root(), lookup);
        return lookup.opened.get();
    };
    std::optional<source_facts> facts = sources_.known(lookup.identity);
    if (!facts) {
        const os::read_only_file* source = opened_source();
        if (source == nullptr) {
            return send_error(exchange, "404 Not Found", "no image at " + request.path);
        }
        facts = sources_.of(*source, lookup.identity, now);
    }
    const auto& source_format = facts->format;
    if (!source_format) {
        return send_error(exchange, "415 Unsupported Media Type",
                          request.path + " is not an image this server reads");
    }
    job.format = job.parameters.format.value_or(default_output_format(*source_format));
    if (job.parameters.negotiate_format) job.format = negotiated_format(request.accept, job.format);
    if (!can_write(job.format)) {
        return refuse(exchange, refusal::format, "400 Bad Request",
                      "format " + std::string(format_name(job.format)) + " cannot be written here");
    }

    job.source = lookup.opened.get();
    job.open_source = opened_source;
    job.relative_source = lookup.relative;
    job.source_format = *source_format;
    // The key is planned from the source's header (as remembered for this
    // version of it), so that requests that make the same image share it,
    // and a 304 needs no more than that.
    if (!name_cache_entry(job, facts->header)) {
        const image_size shown = facts->header->shown;
        return refuse(exchange, refusal::parameters, "400 Bad Request",
                      "the crop lies outside " + request.path + ", which is " +
                          std::to_string(shown.width) + "x" + std::to_string(shown.height));
    }
    job.source_time = to_file_time(lookup.modified);
    job.exchange = &exchange;
    job.coalescer = &coalescer_;
    job.admission = &admission_;
    job.counters = &metrics_;
    job.workers = workers_;
    job.convert_core = reinterpret_cast<core_converter>(chain_.convert_core());

    // Preconditions are answered from the request alone.
    const std::string caching = cache_control_line(policy_.max_age) + std::string(vary_line);
    const std::string etag = entity_tag(job.cache_key, job.source_time);
    switch (evaluate_preconditions(request, etag, job.source_time)) {
    case precondition::failed:
        return send_error(exchange, "412 Precondition Failed",
                          "the image does not meet the request's If-Match or If-Unmodified-Since");
    case precondition::not_modified:
        exchange.send_header("304 Not Modified", "ETag: " + etag + "\r\n" + caching + "\r\n");
        return request_kind::not_modified;
    case precondition::proceed:
        break;
    }
    // The tag of the source time the converter settles on.
    exchange.set_answer_lines([&job, &caching] {
        return "ETag: " + entity_tag(job.cache_key, job.source_time) + "\r\n" + caching;
    });

    const bool answered = chain_.convert(exchange.record(), to_request_value(job), 0, 0);
    exchange.set_answer_lines(nullptr);
    if (answered && exchange.header_sent()) {
        outcome = job.outcome;
        return kind_of(job.outcome);
    }
    if (exchange.header_sent()) return request_kind::error;
    if (job.admitted != admission_verdict::granted) {
        return refuse_admission(exchange, job.admitted, request.path);
    }
    const int status = job.failure_status != 0 ? job.failure_status : 500;
    if (status == conversion_timeout_status) {
        return refuse(exchange, refusal::timeout, status_text_of(status),
                      failure_message(status, request.path, job.format));
    }
    return send_error(exchange, status_text_of(status),
                      failure_message(status, request.path, job.format));
}

} // namespace quorin::host
