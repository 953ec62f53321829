// A reference that keeps the module file loaded while a thread of the
// module runs.
//
// On Windows a host that frees the module while its expiry thread still runs
// would otherwise unmap the thread's code; and stopping the thread from the
// unload notification cannot work, as the thread cannot end while the loader
// lock is held. Held, the reference keeps the module mapped until the thread
// has been stopped and joined. On Linux unloading runs the static
// destructors, which stop and join the thread, so nothing is held there.
#pragma once

namespace quorin::platform {

class module_reference {
public:
    module_reference() = default;
    ~module_reference() { release(); }
    module_reference(const module_reference&) = delete;
    module_reference& operator=(const module_reference&) = delete;

    // Takes the reference unless it is held already.
    void hold();
    // Gives it back, if held.
    void release();

private:
    // The module's handle while held; Linux never holds one.
    [[maybe_unused]] void* module_ = nullptr;
};

} // namespace quorin::platform
