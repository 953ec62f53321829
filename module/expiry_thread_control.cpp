#include "module/expiry_thread_control.h"

#include <exception>
#include <memory>
#include <thread>

#include "expiry/expiry_thread.h"
#include "expiry/stop_signal.h"
#include "platform/module_reference.h"

namespace quorin {
namespace {

// The running sweeper, its stop signal and the reference that keeps the
// module's code loaded while it runs. The thread is joined before any member
// goes.
struct expiry_worker {
    platform::module_reference module;
    // Shared with the thread. When a host exits without Unloaded, Windows
    // ends the thread inside its pause before this is destroyed; destroying
    // a condition variable whose waiter vanished can hang the exit. The
    // ended thread never drops its share, so the signal then stays.
    std::shared_ptr<stop_signal> stop;
    std::thread thread;

    ~expiry_worker() { end(); }
    void end() {
        if (!thread.joinable()) return;
        stop->request();
        thread.join();
    }
};

// A function-local static, first constructed during Loaded, so it is
// destroyed before the settings record that the thread reads. Its destructor
// stops and joins the thread: a host that exits (or unloads the module)
// without calling Unloaded neither crashes nor hangs.
expiry_worker& worker() {
    static expiry_worker instance;
    return instance;
}

} // namespace

void start_expiry_thread() {
    expiry_worker& running = worker();
    running.module.hold();
    running.end();
    try {
        running.stop = std::make_shared<stop_signal>();
        running.thread = std::thread([stop = running.stop] { expiry_thread(*stop); });
    } catch (const std::exception&) {
        running.module.release();
    }
}

void stop_expiry_thread() {
    expiry_worker& running = worker();
    running.end();
    running.module.release();
}

} // namespace quorin
