#include "module/expiry_thread_control.h"

#include <system_error>
#include <thread>

#include "expiry/expiry_thread.h"

namespace quorin {
namespace {

// A function-local static, first constructed during Loaded, so it is
// destroyed before the settings record that the thread reads. Its destructor
// stops and joins the thread: a host that exits (or unloads the module)
// without calling Unloaded neither crashes nor hangs.
std::jthread& expiry_thread_handle() {
    static std::jthread thread;
    return thread;
}

} // namespace

void start_expiry_thread() {
    try {
        // Assigning to a jthread stops and joins the one it replaces.
        expiry_thread_handle() = std::jthread(expiry_thread);
    } catch (const std::system_error&) {
    }
}

void stop_expiry_thread() {
    std::jthread& thread = expiry_thread_handle();
    if (!thread.joinable()) return;
    thread.request_stop();
    thread.join();
}

} // namespace quorin
