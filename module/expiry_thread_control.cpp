#include "module/expiry_thread_control.h"

#include <system_error>
#include <thread>

#include "expiry/expiry_thread.h"
#include "platform/module_reference.h"

namespace quorin {
namespace {

// The running sweeper and the reference that keeps the module's code loaded
// while it runs. Members are destroyed in reverse order: the thread is joined
// before the reference goes.
struct expiry_worker {
    platform::module_reference module;
    std::jthread thread;
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
    try {
        // Assigning to a jthread stops and joins the one it replaces.
        running.thread = std::jthread(expiry_thread);
    } catch (const std::system_error&) {
        running.module.release();
    }
}

void stop_expiry_thread() {
    expiry_worker& running = worker();
    if (running.thread.joinable()) {
        running.thread.request_stop();
        running.thread.join();
    }
    running.module.release();
}

} // namespace quorin
