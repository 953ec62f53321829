// quorin-host: an image server that loads conversion modules and serves
// converted images through them.
#include <FreeImage.h>
#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <thread>

#include "app/options.h"
#include "app/stop_watchdog.h"
#include "base/sanitizer_build.h"
#include "chain/image_library_table.h"
#include "chain/module_chain.h"
#include "convert/conversion_admission.h"
#include "convert/conversion_workers.h"
#include "convert/host_converter.h"
#include "convert/worker_main.h"
#include "http/http_server.h"
#include "imaging/avif_encoder.h"
#include "imaging/sample_images.h"
#include "origin/origin_setup.h"
#include "os/executable_path.h"
#include "os/physical_memory.h"
#include "os/shutdown_signals.h"
#include "security/url_signature.h"
#include "serving/request_handler.h"
#include "telemetry/access_log.h"

namespace {

using namespace quorin::host;

// How long past its stop timeout an orderly stop may run before the process
// leaves regardless: the modules' unloading and the threads' leaving fit in
// it, and the process is gone within the timeout and a second.
constexpr auto stop_overrun = std::chrono::milliseconds(800);

int write_samples(const std::filesystem::path& directory) {
    const auto written = make_sample_images(directory);
    if (written.empty()) {
        std::cerr << "quorin-host: cannot write sample images into " << directory.string() << "\n";
        return 1;
    }
    for (const auto& file : written) std::cout << "wrote " << file.string() << "\n";
    return 0;
}

// quorin.so beside the program in a build tree; in an installed tree,
// PREFIX/lib/quorin beside PREFIX/bin.
std::filesystem::path default_module(const std::filesystem::path& program_directory) {
    const auto beside = program_directory / "quorin.so";
    std::error_code error;
    if (std::filesystem::exists(beside, error)) return beside;
    const auto installed = program_directory.parent_path() / "lib" / "quorin" / "quorin.so";
    return std::filesystem::exists(installed, error) ? installed : beside;
}

int print_signed(const host_options& options) {
    const auto key = read_signing_key(options.signing_key);
    if (!key) {
        std::cerr << "quorin-host: no signing key in " << options.signing_key.string() << "\n";
        return 1;
    }
    const auto url = signed_url(url_signer(*key), options.sign_url);
    if (!url) {
        std::cerr << "quorin-host: " << options.sign_url << " has a malformed %-escape\n";
        return 1;
    }
    std::cout << *url << "\n";
    return 0;
}

// Until SIGINT or SIGTERM; SIGHUP reopens the access log meanwhile.
int wait_for_stop(access_log& log, std::optional<std::chrono::seconds> timeout = std::nullopt) {
    const auto deadline =
        std::chrono::steady_clock::now() + timeout.value_or(std::chrono::seconds(0));
    for (;;) {
        int signal = 0;
        if (!timeout) {
            signal = quorin::host::os::wait_for_shutdown_signal();
        } else {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return 0;
            signal = quorin::host::os::wait_for_shutdown_signal(left);
            if (signal == 0) return 0;
        }
        if (signal != SIGHUP) return signal;
        if (!log.reopen()) std::cerr << "quorin-host: cannot reopen the access log\n";
    }
}

// Lets the answers and conversions in flight finish until `deadline`, or
// until a second SIGINT or SIGTERM.
void wait_for_answers(const http_server& server, access_log& log,
                      std::chrono::steady_clock::time_point deadline) {
    constexpr auto poll_interval = std::chrono::milliseconds(20);
    while (server.open_connections() > 0 && std::chrono::steady_clock::now() < deadline) {
        const int signal = quorin::host::os::wait_for_shutdown_signal(poll_interval);
        if (signal == SIGHUP && !log.reopen())
            std::cerr << "quorin-host: cannot reopen the access log\n";
        if (signal != 0 && signal != SIGHUP) return;
    }
}

worker_pool_settings worker_settings(const host_options& options,
                                     const admission_limits& conversions) {
    worker_pool_settings settings;
    settings.program = quorin::host::os::running_program_file();
    settings.count = conversions.slots;
    settings.timeout = std::chrono::seconds(options.conversion_timeout);
    settings.avif_speed = options.avif_speed;
    if (sanitizer_build) {
        std::cerr << "quorin-host: conversion workers run without a memory limit, as this "
                     "sanitizer build reserves more address space than any limit allows"
                  << std::endl;
    } else {
        settings.memory_limit = worker_memory_limit(conversions.memory_bytes);
    }
    return settings;
}

// The images directory, or the origin with its copies; null when neither
// can be used (a message says why).
std::unique_ptr<source_provider> open_sources(const host_options& options) {
    if (!options.origin.empty()) {
        origin_config config;
        config.origin = options.origin;
        config.source_cache = options.source_cache;
        config.source_cache_bytes = options.source_cache_bytes;
        config.limits = {std::chrono::seconds(options.origin_timeout), options.max_source_bytes};
        config.rules = {std::chrono::seconds(options.origin_revalidate),
                        std::chrono::seconds(options.origin_stale_if_error)};
        config.s3_endpoint = options.s3_endpoint;
        config.s3_region = options.s3_region;
        config.s3_path_style = options.s3_path_style;
        config.s3_credentials = options.s3_credentials;
        std::string message;
        auto sources = open_origin(config, message);
        if (!sources) std::cerr << "quorin-host: " << message << "\n";
        return sources;
    }
    std::error_code error;
    const auto images = std::filesystem::canonical(options.images, error);
    if (error || !std::filesystem::is_directory(images)) {
        std::cerr << "quorin-host: images directory " << options.images.string()
                  << " does not exist\n";
        return nullptr;
    }
    return std::make_unique<directory_sources>(images);
}

int serve(const host_options& options) {
    // Declared first, so that it watches the stop to the modules' end.
    std::optional<stop_watchdog> watchdog;
    const auto sources = open_sources(options);
    if (!sources) return 1;

    const unsigned cores = std::thread::hardware_concurrency();
    admission_limits conversions;
    conversions.slots =
        options.conversions != 0 ? options.conversions : default_conversion_count(cores);
    conversions.memory_bytes =
        options.conversion_memory != 0
            ? options.conversion_memory
            : default_conversion_memory(quorin::host::os::physical_memory_bytes());
    conversions.queue_length = options.queue;
    conversions.longest_wait = std::chrono::seconds(options.queue_wait);
    conversion_admission admission(conversions);
    // Before the modules, so that the workers outlive their unloading,
    // which the watchdog may cut short.
    conversion_workers workers(worker_settings(options, conversions));

    std::vector<std::filesystem::path> modules;
    for (const auto& module : options.modules) modules.push_back(std::filesystem::absolute(module));
    std::string message;
    const chain_ends ends{&host_on_convert, &host_on_convert_with_time,
                          reinterpret_cast<void*>(&host_convert_core)};
    const auto chain = module_chain::load(modules, ends, image_library_table(), message);
    if (!chain) {
        std::cerr << "quorin-host: " << message << "\n";
        return 1;
    }

    serving_policy policy;
    policy.max_age = options.max_age;
    policy.sizes = options.sizes;
    if (!options.signing_key.empty()) {
        const auto key = read_signing_key(options.signing_key);
        if (!key) {
            std::cerr << "quorin-host: no signing key in " << options.signing_key.string() << "\n";
            return 1;
        }
        policy.signer.emplace(*key);
    }

    set_avif_speed(options.avif_speed);
    access_log log(options.access_log, options.access_log_file);
    request_handler handler(*sources, *chain, admission, log, std::move(policy), &workers);
    front_limits limits;
    limits.loop_threads = options.threads != 0 ? options.threads : default_thread_count(cores);
    // Stand-ins for the threads that wait on conversions: one for each that
    // may convert or queue, and some for requests that wait on a key being
    // converted; bounded, so that a flood of misses cannot start threads
    // without end.
    limits.most_threads = limits.loop_threads + conversions.slots + conversions.queue_length + 64;
    limits.header_timeout = std::chrono::seconds(options.header_timeout);
    limits.keep_alive_timeout = std::chrono::seconds(options.keep_alive_timeout);
    limits.max_header_bytes = options.max_header_bytes;
    limits.max_connections = options.max_connections;
    {
        http_server server(options.listen, limits, handler);
        const auto colon = options.listen.rfind(':');
        const std::string address =
            colon == std::string::npos ? "127.0.0.1" : options.listen.substr(0, colon);
        std::cerr << "quorin-host serving " << sources->shown() << " at http://" << address << ":"
                  << server.port() << "/" << std::endl;
        const int signal = wait_for_stop(log);
        bool at_once = false;
        if (options.drain_seconds > 0) {
            // A balancer that polls /healthz stops sending work meanwhile; a
            // second signal stops at once.
            handler.start_draining();
            std::cerr << "quorin-host draining for " << options.drain_seconds << " s" << std::endl;
            at_once = wait_for_stop(log, std::chrono::seconds(options.drain_seconds)) != 0;
        }
        std::cerr << "quorin-host stopping on signal " << signal << std::endl;
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::seconds(at_once ? 0 : options.stop_timeout);
        watchdog.emplace(deadline + stop_overrun, [&workers] { workers.stop(); });
        server.stop_accepting();
        wait_for_answers(server, log, deadline);
        // What is still converting, or waiting to, ends now, so that every
        // handler leaves.
        workers.stop();
        admission.close();
        server.stop(std::chrono::milliseconds(0));
    }
    // The server has stopped and every request has finished: the modules
    // can be told to stop now (the chain's destructor).
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Before any thread exists, so that every thread inherits the mask. A
    // worker keeps it too: a stop is the server's to order.
    quorin::host::os::block_shutdown_signals();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (is_worker_invocation(arguments)) run_conversion_worker(arguments);

    const auto program = quorin::host::os::executable_path();
    const auto parsed = parse_options(arguments, default_module(program.parent_path()));
    if (!parsed.options) {
        std::cerr << "quorin-host: " << parsed.error << "\n\n" << usage_text();
        return 2;
    }
    const host_options& options = *parsed.options;
    if (options.help) {
        std::cout << usage_text();
        return 0;
    }

    FreeImage_Initialise(FALSE);
    int result = 1;
    try {
        if (!options.sign_url.empty()) {
            result = print_signed(options);
        } else {
            result =
                options.make_samples.empty() ? serve(options) : write_samples(options.make_samples);
        }
    } catch (const std::exception& failure) {
        std::cerr << "quorin-host: " << failure.what() << "\n";
    }
    FreeImage_DeInitialise();
    return result;
}
