// The handle of the module file this code was loaded from.
#pragma once

#include <windows.h>

namespace quorin::platform::win32 {

// Set by DllMain when the DLL is attached to a process; null in a program
// that links the code statically, where it then names the program's file.
extern HINSTANCE module_handle;

} // namespace quorin::platform::win32
