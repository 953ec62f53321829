#include "convert/worker_main.h"

#include <FreeImage.h>
#include <exception>
#include <iostream>

#include "base/sanitizer_build.h"
#include "convert/conversion_protocol.h"
#include "imaging/avif_encoder.h"
#include "imaging/heif_formats.h"
#include "os/descriptor_passing.h"
#include "os/immediate_exit.h"
#include "os/memory_file.h"
#include "os/memory_limit.h"
#include "os/read_only_file.h"
#include "os/system_call_filter.h"
#include "os/worker_process.h"

namespace quorin::host {
namespace {

constexpr std::string_view worker_flag = "--conversion-worker";

[[noreturn]] void give_up(const std::string& why) {
    std::cerr << "quorin-host conversion worker: " << why << std::endl;
    os::exit_at_once(1);
}

conversion_reply convert(const conversion_request& request,
                         std::vector<os::unique_descriptor>& descriptors) {
    conversion_reply reply;
    const auto source = os::read_only_file::adopt(std::move(descriptors[0]));
    const os::memory_file output(std::move(descriptors[1]));
    try {
        memory_stream encoded;
        reply.status = convert_image(*source, request.source_format, request.parameters,
                                     request.format, encoded.get(), &reply.executed);
        if (reply.status != conversion_status::converted) return reply;
        BYTE* data = nullptr;
        DWORD size = 0;
        if (!FreeImage_AcquireMemory(encoded.get(), &data, &size) ||
            !output.write_all(data, size)) {
            reply.status = conversion_status::failed;
            return reply;
        }
        reply.size = size;
    } catch (const std::exception&) {
        // Out of memory under the limit, most likely: this conversion
        // fails, the worker goes on.
        reply.status = conversion_status::failed;
    }
    return reply;
}

} // namespace

std::vector<std::string> worker_arguments(std::uint64_t memory_limit, int avif_speed) {
    return {std::string(worker_flag), std::to_string(memory_limit), std::to_string(avif_speed)};
}

bool is_worker_invocation(const std::vector<std::string>& arguments) {
    return !arguments.empty() && arguments.front() == worker_flag;
}

void run_conversion_worker(const std::vector<std::string>& arguments) {
    if (arguments.size() != 3) give_up("bad arguments");
    std::uint64_t memory_limit = 0;
    try {
        memory_limit = std::stoull(arguments[1]);
        set_avif_speed(std::stoi(arguments[2]));
    } catch (const std::exception&) {
        give_up("bad memory limit or AVIF speed");
    }
    // Set up before the filter: the library's formats are registered (the
    // server's own among them, in the server's order, so that a format code
    // means the same on both sides) and every shared library is loaded, so
    // that nothing needs opening later.
    FreeImage_Initialise(FALSE);
    register_heif_formats();
    if (memory_limit != 0 && !os::limit_data_memory(memory_limit))
        give_up("cannot limit its memory");
    if (!os::confine_system_calls(sanitizer_build))
        give_up("cannot install its system-call filter");

    const int socket = os::worker_socket_descriptor;
    const worker_ready ready;
    if (!os::send_message(socket, &ready, sizeof ready)) os::exit_at_once(0);
    for (;;) {
        conversion_request request;
        auto message = os::receive_message(socket, &request, sizeof request, request_descriptors);
        // The server closed its end: it stops, or it no longer wants this
        // worker.
        if (message.status == os::receive_status::closed) os::exit_at_once(0);
        if (message.status != os::receive_status::received ||
            message.descriptors.size() != request_descriptors) {
            give_up("malformed request");
        }
        const conversion_reply reply = convert(request, message.descriptors);
        if (!os::send_message(socket, &reply, sizeof reply)) os::exit_at_once(0);
    }
}

} // namespace quorin::host
