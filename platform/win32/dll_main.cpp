// The attach hook: the module handle is all the module keeps of the
// loader's notifications.
#include <windows.h>

#include "platform/win32/module_handle.h"

namespace quorin::platform::win32 {

HINSTANCE module_handle = nullptr;

} // namespace quorin::platform::win32

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) quorin::platform::win32::module_handle = instance;
    return TRUE;
}
