// The worker processes that decode, fit and encode, one per conversion
// slot, so that a source that takes too long can be stopped by killing its
// worker, and a decoder that crashes or runs out of memory takes down its
// worker and not the server. The module, the cache and every answer stay
// in the server: a worker reads the source it is handed and writes the
// encoded image into a memory file the server maps.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

#include "imaging/avif_encoder.h"
#include "imaging/image_codec.h"
#include "os/worker_process.h"

namespace quorin::host {

struct worker_pool_settings {
    std::filesystem::path program; // this program, started again as a worker
    unsigned count = 1;
    std::uint64_t memory_limit = 0; // each worker's private memory in bytes; 0: none
    std::chrono::milliseconds timeout{30'000};
    int avif_speed = default_avif_speed;
};

enum class worker_outcome {
    answered,  // the status says how the conversion went
    timed_out, // past the timeout: the worker was killed
    lost,      // the worker ended, or the pool stopped
};

struct worker_result {
    worker_outcome outcome = worker_outcome::lost;
    conversion_status status = conversion_status::failed;
    resize_plan executed{};
};

// What one worker may take: the whole conversion budget, as one conversion
// may be admitted for all of it, and what a worker holds besides (the
// libraries' data, the encoded image). Admission keeps the workers
// together within the budget by their estimates; the limit stops the one
// whose decoder takes far more than its estimate.
std::uint64_t worker_memory_limit(std::uint64_t conversion_budget);

class conversion_workers {
public:
    // Starts the workers and waits until each is set up and confined;
    // throws std::runtime_error when one cannot be.
    explicit conversion_workers(worker_pool_settings settings);
    // Stops; the killed workers still freeing their memory are left to
    // be reaped once the server has left, so that leaving never waits.
    ~conversion_workers();
    conversion_workers(const conversion_workers&) = delete;
    conversion_workers& operator=(const conversion_workers&) = delete;

    // Converts as convert_image does, in the first idle worker (waiting
    // for one when all are busy). A worker that timed out or ended is
    // replaced at once.
    worker_result convert(const os::read_only_file& source, int source_format,
                          const conversion_parameters& parameters, output_format format,
                          FIMEMORY* out);

    // Kills every worker: the conversions in flight end as lost at once,
    // without waiting for their workers' end, and so do later ones.
    void stop();

private:
    struct worker {
        std::optional<os::worker_process> process;
        bool ready = false; // its greeting was read
        bool busy = false;
    };

    // Under the lock.
    bool start(worker& slot);
    void retire(worker& slot, worker_outcome why);
    void stop_locked();
    void reap_ended();

    const worker_pool_settings settings_;
    std::mutex mutex_;
    std::condition_variable idle_;
    std::vector<worker> workers_;
    // Killed, not yet reaped: a worker's memory can take a while to go,
    // and no request waits for that.
    std::vector<os::worker_process> ending_;
    bool stopped_ = false;
};

} // namespace quorin::host
