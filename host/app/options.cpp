#include "app/options.h"

#include <algorithm>

#include "imaging/image_codec.h"
#include "variant/request_parameters.h"

namespace quorin::host {
namespace {

// A whole number from 1 to `most`.
std::optional<unsigned> parse_count(const std::string& text, unsigned most) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const unsigned long value = std::stoul(text);
    if (value == 0 || value > most) return std::nullopt;
    return static_cast<unsigned>(value);
}

struct count_option {
    std::string_view name;
    unsigned host_options::*field;
    unsigned most;
};

constexpr count_option count_options[] = {
    {"--threads", &host_options::threads, 1024},
    {"--max-header-bytes", &host_options::max_header_bytes, 1024 * 1024},
    {"--max-connections", &host_options::max_connections, 1'000'000},
    {"--conversions", &host_options::conversions, 1024},
    {"--conversion-timeout", &host_options::conversion_timeout, 86'400},
};

constexpr std::pair<std::string_view, unsigned host_options::*> seconds_options[] = {
    {"--max-age", &host_options::max_age},
    {"--drain-seconds", &host_options::drain_seconds},
    {"--header-timeout", &host_options::header_timeout},
    {"--keep-alive-timeout", &host_options::keep_alive_timeout},
    {"--stop-timeout", &host_options::stop_timeout},
    {"--queue-wait", &host_options::queue_wait},
    {"--origin-revalidate", &host_options::origin_revalidate},
    {"--origin-timeout", &host_options::origin_timeout},
    {"--origin-stale-if-error", &host_options::origin_stale_if_error},
};

constexpr std::pair<std::string_view, std::uint64_t host_options::*> bytes_options[] = {
    {"--source-cache-bytes", &host_options::source_cache_bytes},
    {"--max-source-bytes", &host_options::max_source_bytes},
};

constexpr std::pair<std::string_view, std::string host_options::*> text_options[] = {
    {"--origin", &host_options::origin},
    {"--s3-endpoint", &host_options::s3_endpoint},
    {"--s3-region", &host_options::s3_region},
};

constexpr std::pair<std::string_view, std::filesystem::path host_options::*> path_options[] = {
    {"--source-cache", &host_options::source_cache},
    {"--s3-credentials", &host_options::s3_credentials},
};

template <typename Table>
auto find_option(const Table& table, const std::string& name) {
    return std::find_if(std::begin(table), std::end(table),
                        [&](const auto& option) { return option.first == name; });
}

// A queue length, 0 to 1024: more could never be waiting.
std::optional<unsigned> parse_length(const std::string& text) {
    if (text == "0") return 0u;
    return parse_count(text, 1024);
}

// An AVIF encoder speed.
std::optional<int> parse_avif_speed(const std::string& text) {
    if (text.size() != 1 || text[0] < '0' || text[0] > '9') return std::nullopt;
    const int speed = text[0] - '0';
    if (speed < slowest_avif_speed || speed > fastest_avif_speed) return std::nullopt;
    return speed;
}

// Bytes, 1 to an exabyte.
std::optional<std::uint64_t> parse_bytes(const std::string& text) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const std::uint64_t value = std::stoull(text);
    if (value == 0) return std::nullopt;
    return value;
}

// Seconds, 0 to ten years.
std::optional<unsigned> parse_seconds(const std::string& text) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const unsigned long value = std::stoul(text);
    if (value > 315'360'000) return std::nullopt;
    return static_cast<unsigned>(value);
}

} // namespace

std::string usage_text() {
    return "usage: quorin-host --images DIR [options]\n"
           "       quorin-host --origin URL --source-cache DIR [options]\n"
           "       quorin-host --make-samples DIR\n"
           "       quorin-host --signing-key FILE --sign URL\n"
           "\n"
           "Serves the images below DIR, converted on request and cached by the\n"
           "loaded modules. GET /NAME?w=W&h=H&fit=M&gravity=G&format=F&q=Q scales\n"
           "the image to the W x H box (at most " +
           std::to_string(max_dimension) +
           ") by fit mode M, after\n"
           "crop=X,Y,CW,CH keeps that part of it (in its pixels as shown); dpr=R\n"
           "(1 to 4) multiplies W and H:\n"
           "  inside   all of it inside the box, never enlarging; W or H may be\n"
           "           left out (the default)\n"
           "  cover    exactly W x H, the overflow cut off, never enlarging; G\n"
           "           keeps center (the default), north, south, east, west,\n"
           "           northeast, northwest, southeast, southwest or smart (the\n"
           "           part with the most detail)\n"
           "  fill     stretched to exactly W x H\n"
           "cover and fill need both W and H. It is encoded as F (png, jpeg, gif,\n"
           "bmp, webp, avif, or auto: avif when the client's Accept names\n"
           "image/avif, else webp when it names image/webp; default: the source's\n"
           "format) with JPEG/WebP/AVIF quality Q (1-100,\n"
           "default 85). Sources of more than " +
           std::to_string(max_source_pixels / 1'000'000) +
           "\nmegapixels are refused (422). / shows a gallery, /metrics the counters,\n"
           "/healthz says ok while serving (503 while stopping).\n"
           "\n"
           "options:\n"
           "  --images DIR         directory of the source images\n"
           "  --listen HOST:PORT   address to listen on (default 127.0.0.1:8080;\n"
           "                       port 0 picks a free port)\n"
           "  --module PATH        module to load; repeat for a chain, first one\n"
           "                       called first (default: quorin.so beside this\n"
           "                       program). Each reads quorin.setting beside it.\n"
           "  --threads N          event-loop threads (default: one per core); a\n"
           "                       request that waits for a conversion gets a\n"
           "                       stand-in thread meanwhile\n"
           "  --header-timeout S   seconds a client has to send a request header\n"
           "                       (default 10)\n"
           "  --keep-alive-timeout S  seconds a kept connection may idle (default 15)\n"
           "  --max-header-bytes N largest request header; larger ones get 431\n"
           "                       (default 16384)\n"
           "  --max-connections N  open connections at most; more are closed at once\n"
           "                       (default 10000)\n"
           "  --stop-timeout S     on SIGTERM, seconds the answers and conversions in\n"
           "                       flight have to finish before they are cut off; a\n"
           "                       second signal cuts them off at once (default 10)\n"
           "  --quiet              no access log\n"
           "  --access-log FILE    access log to FILE instead of standard output;\n"
           "                       reopened on SIGHUP\n"
           "  --max-age SECONDS    how long clients may keep an image (default\n"
           "                       86400; 0: revalidate every time)\n"
           "  --signing-key FILE   serve only image URLs signed with the key in FILE\n"
           "  --sign URL           print URL signed with --signing-key and exit\n"
           "  --sizes WxH,...      allow only these boxes (w and h both given)\n"
           "  --drain-seconds N    on SIGTERM, answer /healthz with 503 for N seconds\n"
           "                       while still serving, then stop (default 0)\n"
           "  --conversions N      conversions run at once (default: one per core)\n"
           "  --conversion-memory BYTES\n"
           "                       memory the running conversions may take, estimated\n"
           "                       from each source's header (default: a quarter of\n"
           "                       the machine's); a source that alone needs more is\n"
           "                       refused (422)\n"
           "  --queue N            conversions that may wait for their turn (default\n"
           "                       64; 0: none wait); beyond them, 503\n"
           "  --queue-wait SECONDS longest a conversion waits for its turn before it\n"
           "                       gets 503 (default 10)\n"
           "  --avif-speed N       AVIF encoder speed, " +
           std::to_string(slowest_avif_speed) + " (slowest) to " +
           std::to_string(fastest_avif_speed) + " (fastest) (default " +
           std::to_string(default_avif_speed) +
           ")\n"
           "  --conversion-timeout SECONDS\n"
           "                       longest a conversion may run; past it, it is\n"
           "                       stopped and the request gets 504 (default 30)\n"
           "  --origin URL         serve /PATH from URL/PATH (http://, https://) or\n"
           "                       from a bucket (s3://BUCKET/PREFIX) instead of\n"
           "                       --images\n"
           "  --source-cache DIR   where the origin's sources are kept (needed with\n"
           "                       --origin)\n"
           "  --source-cache-bytes N  most bytes kept there, the least recently used\n"
           "                       dropped first (default 1073741824)\n"
           "  --origin-revalidate SECONDS  how long a kept source is used before the\n"
           "                       origin is asked again whether it changed (default 60)\n"
           "  --origin-timeout SECONDS  longest wait for a whole answer of the origin\n"
           "                       (default 10; past it, 504)\n"
           "  --max-source-bytes N largest source fetched; larger ones get 422\n"
           "                       (default 67108864)\n"
           "  --origin-stale-if-error SECONDS  while the origin fails, a source it\n"
           "                       confirmed this long ago is still served (default 3600)\n"
           "  --s3-endpoint URL    the bucket's server (default: AWS for the region)\n"
           "  --s3-region NAME     the bucket's region (default us-east-1)\n"
           "  --s3-path-style      name the bucket in the path, not the host name\n"
           "  --s3-credentials FILE  keys from FILE's [default] profile instead of\n"
           "                       AWS_ACCESS_KEY_ID, AWS_SECRET_ACCESS_KEY and\n"
           "                       AWS_SESSION_TOKEN\n"
           "  --make-samples DIR   write a few generated sample images and exit\n"
           "  --help               this text\n";
}

unsigned default_thread_count(unsigned cores) { return std::clamp(cores, 1u, 1024u); }

unsigned default_conversion_count(unsigned cores) { return std::max(cores, 1u); }

std::uint64_t default_conversion_memory(std::uint64_t physical) {
    constexpr std::uint64_t unknown_machine = std::uint64_t{1} << 30;
    return physical != 0 ? physical / 4 : unknown_machine;
}

parsed_options parse_options(const std::vector<std::string>& arguments,
                             const std::filesystem::path& default_module) {
    host_options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
            return {options, {}};
        }
        if (name == "--quiet") {
            options.access_log = false;
            continue;
        }
        if (name == "--s3-path-style") {
            options.s3_path_style = true;
            continue;
        }
        const auto count = std::find_if(std::begin(count_options), std::end(count_options),
                                        [&](const count_option& o) { return o.name == name; });
        const auto seconds = std::find_if(std::begin(seconds_options), std::end(seconds_options),
                                          [&](const auto& o) { return o.first == name; });
        const bool takes_value = name == "--images" || name == "--listen" || name == "--module" ||
                                 name == "--make-samples" || name == "--access-log" ||
                                 name == "--signing-key" || name == "--sign" || name == "--sizes" ||
                                 name == "--conversion-memory" || name == "--queue" ||
                                 name == "--avif-speed" || count != std::end(count_options) ||
                                 seconds != std::end(seconds_options) ||
                                 find_option(bytes_options, name) != std::end(bytes_options) ||
                                 find_option(text_options, name) != std::end(text_options) ||
                                 find_option(path_options, name) != std::end(path_options);
        if (!takes_value) return {std::nullopt, "unknown option '" + name + "'"};
        if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
            return {std::nullopt, "option " + name + " needs a value"};
        }
        const std::string& value = arguments[++i];
        if (name == "--images") options.images = value;
        if (name == "--listen") options.listen = value;
        if (name == "--module") options.modules.emplace_back(value);
        if (name == "--make-samples") options.make_samples = value;
        if (name == "--access-log") options.access_log_file = value;
        if (name == "--signing-key") options.signing_key = value;
        if (name == "--sign") options.sign_url = value;
        if (seconds != std::end(seconds_options)) {
            const auto parsed = parse_seconds(value);
            if (!parsed) return {std::nullopt, name + " takes a number of seconds"};
            options.*(seconds->second) = *parsed;
        }
        if (const auto text = find_option(text_options, name); text != std::end(text_options))
            options.*(text->second) = value;
        if (const auto path = find_option(path_options, name); path != std::end(path_options))
            options.*(path->second) = value;
        if (const auto bytes = find_option(bytes_options, name); bytes != std::end(bytes_options)) {
            const auto parsed = parse_bytes(value);
            if (!parsed) return {std::nullopt, name + " takes a number of bytes"};
            options.*(bytes->second) = *parsed;
        }
        if (name == "--conversion-memory") {
            const auto bytes = parse_bytes(value);
            if (!bytes) return {std::nullopt, "--conversion-memory takes a number of bytes"};
            options.conversion_memory = *bytes;
        }
        if (name == "--queue") {
            const auto length = parse_length(value);
            if (!length) return {std::nullopt, "--queue takes a number from 0 to 1024"};
            options.queue = *length;
        }
        if (name == "--avif-speed") {
            const auto speed = parse_avif_speed(value);
            if (!speed) {
                return {std::nullopt, "--avif-speed takes a number from " +
                                          std::to_string(slowest_avif_speed) + " to " +
                                          std::to_string(fastest_avif_speed)};
            }
            options.avif_speed = *speed;
        }
        if (name == "--sizes") {
            options.sizes = allowed_sizes::parse(value);
            if (!options.sizes) {
                return {std::nullopt, "--sizes takes boxes WxH,WxH,... with sides 1 to " +
                                          std::to_string(max_dimension)};
            }
        }
        if (count != std::end(count_options)) {
            const auto parsed = parse_count(value, count->most);
            if (!parsed) {
                return {std::nullopt,
                        name + " takes a number from 1 to " + std::to_string(count->most)};
            }
            options.*(count->field) = *parsed;
        }
    }
    if (!options.sign_url.empty()) {
        if (options.signing_key.empty()) return {std::nullopt, "--sign needs --signing-key FILE"};
        return {options, {}};
    }
    if (!options.origin.empty()) {
        if (!options.images.empty()) return {std::nullopt, "give --images or --origin, not both"};
        if (options.source_cache.empty())
            return {std::nullopt, "--origin needs --source-cache DIR"};
        if (options.origin_timeout == 0)
            return {std::nullopt, "--origin-timeout takes 1 second or more"};
    } else if (options.make_samples.empty() && options.images.empty()) {
        return {std::nullopt, "--images DIR or --origin URL is required"};
    }
    if (options.modules.empty()) options.modules.push_back(default_module);
    return {options, {}};
}

} // namespace quorin::host
