// The command line of quorin-host.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "allowed_sizes.h"

namespace quorin::host {

struct host_options {
    std::string listen = "127.0.0.1:8080";
    std::filesystem::path images;
    std::vector<std::filesystem::path> modules; // in chain order
    unsigned threads = 0;                       // 0: chosen from the cores
    bool access_log = true;
    std::filesystem::path access_log_file; // empty: standard output
    unsigned max_age = 86'400;             // seconds a client may keep an image
    std::filesystem::path signing_key;     // set: image URLs must be signed
    std::optional<allowed_sizes> sizes;    // set: only these boxes
    unsigned drain_seconds = 0;            // /healthz says 503 this long before the stop
    std::string sign_url;                  // set: print it signed and exit
    std::filesystem::path make_samples;    // set: write samples and exit
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

// Worker threads for `cores` processor cores. civetweb gives a connection
// one worker for as long as it stays open, so the workers bound how many
// kept-alive clients are served at once, not how much runs in parallel:
// with fewer workers than open connections, the connections beyond them
// get no answer until another one closes. Hence many per core, and never
// fewer than a busy client side keeps open.
unsigned default_thread_count(unsigned cores);

} // namespace quorin::host
