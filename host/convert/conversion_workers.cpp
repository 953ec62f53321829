#include "convert/conversion_workers.h"

#include <FreeImage.h>
#include <algorithm>
#include <iostream>
#include <stdexcept>

#include "convert/conversion_protocol.h"
#include "convert/worker_main.h"
#include "os/descriptor_passing.h"
#include "os/memory_file.h"
#include "os/read_only_file.h"

namespace quorin::host {
namespace {

// How long a worker may take to set up at the server's start.
constexpr std::chrono::seconds startup_patience{10};

using clock = std::chrono::steady_clock;

std::chrono::milliseconds left_until(clock::time_point deadline) {
    return std::max(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()),
                    std::chrono::milliseconds(0));
}

worker_outcome outcome_of(os::receive_status status) {
    return status == os::receive_status::timed_out ? worker_outcome::timed_out
                                                   : worker_outcome::lost;
}

// One message to and from a worker known to be set up, or its greeting
// first when it is new; nothing here touches the pool. Empty when the
// worker was gone before it took the request.
std::optional<worker_result> run_in_worker(int socket, bool ready, clock::time_point deadline,
                                           const conversion_request& request,
                                           const os::read_only_file& source, FIMEMORY* out) {
    worker_result result;
    if (!ready) {
        worker_ready greeting;
        const auto message =
            os::receive_message(socket, &greeting, sizeof greeting, 0, left_until(deadline));
        if (message.status == os::receive_status::closed) return std::nullopt;
        if (message.status != os::receive_status::received) {
            result.outcome = outcome_of(message.status);
            return result;
        }
    }
    const auto output = os::memory_file::create();
    if (!output) {
        result.outcome = worker_outcome::answered;
        return result;
    }
    const int passed[request_descriptors] = {source.descriptor(), output->descriptor()};
    if (!os::send_message(socket, &request, sizeof request, passed)) return std::nullopt;

    conversion_reply reply;
    const auto message = os::receive_message(socket, &reply, sizeof reply, 0, left_until(deadline));
    if (message.status != os::receive_status::received) {
        result.outcome = outcome_of(message.status);
        return result;
    }
    result.outcome = worker_outcome::answered;
    result.status = reply.status;
    result.executed = reply.executed;
    if (reply.status != conversion_status::converted) return result;
    // The module needs the image in its memory stream: one copy, from the
    // worker's pages.
    const auto mapped = reply.size <= UINT32_MAX ? output->seal_and_map(reply.size) : nullptr;
    const auto size = static_cast<unsigned>(reply.size);
    if (!mapped || FreeImage_WriteMemory(mapped->data(), 1, size, out) != size)
        result.status = conversion_status::failed;
    return result;
}

} // namespace

std::uint64_t worker_memory_limit(std::uint64_t conversion_budget) {
    constexpr std::uint64_t besides_the_pixels = std::uint64_t{128} << 20;
    return conversion_budget + besides_the_pixels;
}

conversion_workers::conversion_workers(worker_pool_settings settings)
    : settings_(std::move(settings)), workers_(std::max(1u, settings_.count)) {
    const std::lock_guard lock(mutex_);
    for (auto& slot : workers_) {
        worker_ready greeting;
        const auto message = start(slot) ? os::receive_message(slot.process->socket(), &greeting,
                                                               sizeof greeting, 0, startup_patience)
                                         : os::received_message{};
        if (message.status != os::receive_status::received) {
            const std::string ending = slot.process ? slot.process->end() : "no process";
            stop_locked();
            throw std::runtime_error("a conversion worker could not be set up (" + ending + ")");
        }
        slot.ready = true;
    }
}

bool conversion_workers::start(worker& slot) {
    slot.ready = false;
    slot.process = os::worker_process::start(
        settings_.program, worker_arguments(settings_.memory_limit, settings_.avif_speed));
    if (!slot.process) {
        std::cerr << "quorin-host: cannot start a conversion worker" << std::endl;
        return false;
    }
    std::cerr << "quorin-host: conversion worker " << slot.process->pid() << " started"
              << std::endl;
    return true;
}

void conversion_workers::retire(worker& slot, worker_outcome why) {
    os::worker_process process = std::move(*slot.process);
    slot.process.reset();
    const int pid = process.pid();
    if (why == worker_outcome::timed_out || stopped_) {
        process.kill();
        ending_.push_back(std::move(process));
        if (!stopped_) {
            std::cerr << "quorin-host: conversion worker " << pid
                      << " killed: its conversion ran past "
                      << std::chrono::duration_cast<std::chrono::seconds>(settings_.timeout).count()
                      << " s" << std::endl;
        }
    } else {
        // It has ended, or is about to: its socket closed.
        std::cerr << "quorin-host: conversion worker " << pid << " lost (" << process.end() << ")"
                  << std::endl;
    }
    reap_ended();
    if (!stopped_) start(slot);
}

void conversion_workers::reap_ended() {
    std::erase_if(ending_, [](os::worker_process& process) { return process.ended(); });
}

worker_result conversion_workers::convert(const os::read_only_file& source, int source_format,
                                          const conversion_parameters& parameters,
                                          output_format format, FIMEMORY* out) {
    const auto deadline = clock::now() + settings_.timeout;
    const conversion_request request{source_format, parameters, format};
    const auto idle = [this] {
        return std::find_if(workers_.begin(), workers_.end(),
                            [](const worker& slot) { return !slot.busy; });
    };
    std::unique_lock lock(mutex_);
    // A worker that ended while idle costs its next request nothing: the
    // one that takes its place gets the request.
    for (int attempt = 1;; ++attempt) {
        idle_.wait(lock, [&] { return stopped_ || idle() != workers_.end(); });
        if (stopped_) return {};
        worker& slot = *idle();
        // One that could not be started before is tried again now.
        if (!slot.process && !start(slot)) return {};
        slot.busy = true;
        const int socket = slot.process->socket();
        const bool ready = slot.ready;
        lock.unlock();

        const auto result = run_in_worker(socket, ready, deadline, request, source, out);

        lock.lock();
        if (result && result->outcome == worker_outcome::answered) {
            slot.ready = true;
        } else if (slot.process) {
            retire(slot, result ? result->outcome : worker_outcome::lost);
        }
        slot.busy = false;
        idle_.notify_one();
        if (result || attempt == 2) return result.value_or(worker_result{});
    }
}

void conversion_workers::stop() {
    const std::lock_guard lock(mutex_);
    stop_locked();
}

void conversion_workers::stop_locked() {
    if (stopped_) return;
    stopped_ = true;
    for (auto& slot : workers_) {
        if (!slot.process) continue;
        slot.process->kill();
        if (slot.busy) {
            // The thread that uses it wakes at once and retires it.
            os::shut_down(slot.process->socket());
        } else {
            ending_.push_back(std::move(*slot.process));
            slot.process.reset();
        }
    }
    idle_.notify_all();
}

conversion_workers::~conversion_workers() {
    stop();
    reap_ended();
    for (auto& process : ending_) process.abandon();
}

} // namespace quorin::host
