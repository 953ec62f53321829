// The command line of quorin-host.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "imaging/avif_encoder.h"
#include "security/allowed_sizes.h"

namespace quorin::host {

struct host_options {
    std::string listen = "127.0.0.1:8080";
    std::filesystem::path images;
    std::vector<std::filesystem::path> modules; // in chain order
    unsigned threads = 0;                       // event-loop threads; 0: one per core
    bool access_log = true;
    std::filesystem::path access_log_file; // empty: standard output
    unsigned max_age = 86'400;             // seconds a client may keep an image
    std::filesystem::path signing_key;     // set: image URLs must be signed
    std::optional<allowed_sizes> sizes;    // set: only these boxes
    unsigned drain_seconds = 0;            // /healthz says 503 this long before the stop
    unsigned conversions = 0;              // at once; 0: one per core
    std::uint64_t conversion_memory = 0;   // bytes; 0: a quarter of the machine's
    unsigned queue = 64;                   // conversions waiting for their turn
    unsigned queue_wait = 10;              // seconds a conversion waits at most
    unsigned conversion_timeout = 30;      // seconds a conversion may run
    std::string sign_url;                  // set: print it signed and exit
    std::filesystem::path make_samples;    // set: write samples and exit
    unsigned header_timeout = 10;          // seconds to receive a request header
    unsigned keep_alive_timeout = 15;      // seconds a kept connection may idle
    unsigned max_header_bytes = 16 * 1024;
    unsigned max_connections = 10'000;
    unsigned stop_timeout = 10; // seconds the answers and conversions in flight get on a stop
    int avif_speed = default_avif_speed;
    // Sources from an origin instead of --images: where, kept where and how
    // much of them, and how long they are trusted.
    std::string origin;
    std::filesystem::path source_cache;
    std::uint64_t source_cache_bytes = std::uint64_t{1} << 30;
    std::uint64_t max_source_bytes = std::uint64_t{64} << 20;
    unsigned origin_revalidate = 60;
    unsigned origin_timeout = 10;
    unsigned origin_stale_if_error = 3600;
    std::string s3_endpoint; // empty: the provider's own
    std::string s3_region = "us-east-1";
    bool s3_path_style = false;
    std::filesystem::path s3_credentials; // empty: from the environment
    bool help = false;
};

struct parsed_options {
    std::optional<host_options> options;
    std::string error; // when options is empty
};

// `arguments` without the program name. `default_module` is used when no
// --module is given.
parsed_options parse_options(const std::vector<std::string>& arguments,
                             const std::filesystem::path& default_module);

std::string usage_text();

// Event-loop threads for `cores` processor cores: one each, as requests
// that wait long get a stand-in.
unsigned default_thread_count(unsigned cores);

// Conversions at once: one per core, as each keeps one busy.
unsigned default_conversion_count(unsigned cores);

// The conversions' memory for a machine of `physical` bytes (0: unknown):
// a quarter, leaving the rest to the cache's files and everything else.
std::uint64_t default_conversion_memory(std::uint64_t physical);

} // namespace quorin::host
