// Which Windows version the module runs on.
#pragma once

namespace quorin::platform::win32 {

// True from version 6.1 (Windows 7, Windows Server 2008 R2) on. A failed
// version query counts as an older system.
bool is_os_version_6_1_or_later();

} // namespace quorin::platform::win32
