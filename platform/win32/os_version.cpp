#include "platform/win32/os_version.h"

#include <windows.h>

namespace quorin::platform::win32 {

bool is_os_version_6_1_or_later() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    static_assert(sizeof version == 148);
    ::GetVersionExA(&version);
    return version.dwMajorVersion > 6 ||
           (version.dwMajorVersion == 6 && version.dwMinorVersion >= 1);
}

} // namespace quorin::platform::win32
