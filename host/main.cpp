// quorin-host: an image server that loads conversion modules and serves
// converted images through them.
#include <FreeImage.h>
#include <cstdio>
#include <exception>
#include <iostream>
#include <thread>

#include "access_log.h"
#include "host_converter.h"
#include "http_server.h"
#include "image_library_table.h"
#include "module_chain.h"
#include "options.h"
#include "os/executable_path.h"
#include "os/shutdown_signals.h"
#include "request_handler.h"
#include "sample_images.h"

namespace {

using namespace quorin::host;

int write_samples(const std::filesystem::path& directory) {
    const auto written = make_sample_images(directory);
    if (written.empty()) {
        std::cerr << "quorin-host: cannot write sample images into " << directory.string() << "\n";
        return 1;
    }
    for (const auto& file : written) std::cout << "wrote " << file.string() << "\n";
    return 0;
}

int serve(const host_options& options) {
    std::error_code error;
    const auto images = std::filesystem::canonical(options.images, error);
    if (error || !std::filesystem::is_directory(images)) {
        std::cerr << "quorin-host: images directory " << options.images.string()
                  << " does not exist\n";
        return 1;
    }

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

    access_log log(options.access_log);
    request_handler handler(images, *chain, log);
    const unsigned threads = options.threads != 0
                                 ? options.threads
                                 : default_thread_count(std::thread::hardware_concurrency());
    {
        http_server server(options.listen, threads, handler);
        const auto colon = options.listen.rfind(':');
        const std::string address =
            colon == std::string::npos ? "127.0.0.1" : options.listen.substr(0, colon);
        std::cout << "quorin-host serving " << images.string() << " at http://" << address << ":"
                  << server.port() << "/" << std::endl;
        const int signal = quorin::host::os::wait_for_shutdown_signal();
        std::cout << "quorin-host stopping on signal " << signal << std::endl;
    }
    // The server has stopped and every request has finished: the modules
    // can be told to stop now (the chain's destructor).
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Before any thread exists, so that every thread inherits the mask.
    quorin::host::os::block_shutdown_signals();

    const auto program = quorin::host::os::executable_path();
    const auto parsed = parse_options(std::vector<std::string>(argv + 1, argv + argc),
                                      program.parent_path() / "quorin.so");
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
        result =
            options.make_samples.empty() ? serve(options) : write_samples(options.make_samples);
    } catch (const std::exception& failure) {
        std::cerr << "quorin-host: " << failure.what() << "\n";
    }
    FreeImage_DeInitialise();
    return result;
}
