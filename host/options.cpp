#include "options.h"

#include <algorithm>

#include "image_codec.h"

namespace quorin::host {
namespace {

constexpr unsigned max_threads = 1024;

std::optional<unsigned> parse_count(const std::string& text) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const unsigned value = static_cast<unsigned>(std::stoul(text));
    if (value == 0 || value > max_threads) return std::nullopt;
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
           "       quorin-host --make-samples DIR\n"
           "       quorin-host --signing-key FILE --sign URL\n"
           "\n"
           "Serves the images below DIR, converted on request and cached by the\n"
           "loaded modules. GET /NAME?w=W&h=H&fit=M&gravity=G&format=F&q=Q scales\n"
           "the image to the W x H box (at most 8192) by fit mode M:\n"
           "  inside   all of it inside the box, never enlarging; W or H may be\n"
           "           left out (the default)\n"
           "  cover    exactly W x H, the overflow cut off, never enlarging; G\n"
           "           keeps center (the default), north, south, east, west,\n"
           "           northeast, northwest, southeast or southwest\n"
           "  fill     stretched to exactly W x H\n"
           "cover and fill need both W and H. It is encoded as F (png, jpeg, gif,\n"
           "bmp, webp, or auto: webp when the client's Accept names image/webp;\n"
           "default: the source's format) with JPEG/WebP quality Q (1-100,\n"
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
           "  --threads N          worker threads, each serving one open connection\n"
           "                       at a time (default: 16 per core, at least 64)\n"
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
           "  --make-samples DIR   write a few generated sample images and exit\n"
           "  --help               this text\n";
}

unsigned default_thread_count(unsigned cores) { return std::clamp(cores * 16, 64u, 256u); }

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
        const bool takes_value = name == "--images" || name == "--listen" || name == "--module" ||
                                 name == "--threads" || name == "--make-samples" ||
                                 name == "--access-log" || name == "--max-age" ||
                                 name == "--signing-key" || name == "--sign" || name == "--sizes" ||
                                 name == "--drain-seconds";
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
        if (name == "--max-age" || name == "--drain-seconds") {
            const auto seconds = parse_seconds(value);
            if (!seconds) return {std::nullopt, name + " takes a number of seconds"};
            (name == "--max-age" ? options.max_age : options.drain_seconds) = *seconds;
        }
        if (name == "--sizes") {
            options.sizes = allowed_sizes::parse(value);
            if (!options.sizes) {
                return {std::nullopt, "--sizes takes boxes WxH,WxH,... with sides 1 to 8192"};
            }
        }
        if (name == "--threads") {
            const auto count = parse_count(value);
            if (!count) return {std::nullopt, "--threads takes a number from 1 to 1024"};
            options.threads = *count;
        }
    }
    if (!options.sign_url.empty()) {
        if (options.signing_key.empty()) return {std::nullopt, "--sign needs --signing-key FILE"};
        return {options, {}};
    }
    if (options.make_samples.empty() && options.images.empty()) {
        return {std::nullopt, "--images DIR is required"};
    }
    if (options.modules.empty()) options.modules.push_back(default_module);
    return {options, {}};
}

} // namespace quorin::host
