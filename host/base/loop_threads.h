// The threads that run the event loop. Request handlers run on them, so a
// hit is answered without a hand-over; a thread about to wait long (for a
// conversion, a conversion slot or a coalesced miss) says so with a
// blocking_region, and a stand-in takes its place in the loop meanwhile,
// up to a cap. Idle and slow connections therefore never hold a thread,
// and hits keep `active` threads however many conversions are waiting.
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace quorin::host {

class loop_threads {
public:
    // `run_once` runs one piece of loop work, waiting for it; false once
    // the loop has stopped. Starts `active` threads at once.
    loop_threads(unsigned active, unsigned most, std::function<bool()> run_once);
    // Joins every thread, which leave once the loop stops.
    ~loop_threads();
    loop_threads(const loop_threads&) = delete;
    loop_threads& operator=(const loop_threads&) = delete;

private:
    friend class blocking_region;
    void start_thread();
    void run();
    bool leaves_as_surplus();
    void blocking_begins();
    void blocking_ends();

    const unsigned active_;
    const unsigned most_;
    const std::function<bool()> run_once_;
    std::atomic<unsigned> running_{0};
    std::atomic<unsigned> blocked_{0};
    std::mutex mutex_;
    std::list<std::thread> threads_;        // under mutex_
    std::vector<std::thread::id> finished_; // left their loop, not yet joined; under mutex_
};

// Marks the calling thread as waiting long while it lives. On a thread
// that runs no loop it does nothing.
class blocking_region {
public:
    blocking_region();
    ~blocking_region();
    blocking_region(const blocking_region&) = delete;
    blocking_region& operator=(const blocking_region&) = delete;

private:
    loop_threads* pool_;
};

} // namespace quorin::host
