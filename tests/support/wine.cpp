#include "support/wine.h"

#include <windows.h>

namespace quorin::test {

// Wine's ntdll exports its version; Windows' does not.
bool running_under_wine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

} // namespace quorin::test
