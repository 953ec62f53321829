#include "platform/module_reference.h"

#include <windows.h>
#include <utility>

#include "platform/win32/module_handle.h"

namespace quorin::platform {

void module_reference::hold() {
    if (module_ != nullptr) return;
    HMODULE module = nullptr;
    // The module that holds this code's data, counted rather than pinned:
    // once released, the host's own FreeLibrary unloads the module again.
    if (::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                             reinterpret_cast<LPCWSTR>(&win32::module_handle), &module)) {
        module_ = module;
    }
}

void module_reference::release() {
    if (module_ == nullptr) return;
    ::FreeLibrary(static_cast<HMODULE>(std::exchange(module_, nullptr)));
}

} // namespace quorin::platform
