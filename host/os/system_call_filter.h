// The system calls a conversion worker keeps once it is set up: enough to
// decode and encode in memory, read the files it was handed and answer on
// its socket, start threads; nothing that opens a file or a socket, starts
// a process or program, or maps executable memory.
#pragma once

namespace quorin::host::os {

// Forbids gaining privileges (set-user-ID programs) and confines the
// calling process, and every thread it starts later, to those calls for
// good. A refused call fails with EPERM instead of killing the process:
// the libraries make a few incidental calls outside the list (the C library
// reads /sys for the number of processors, a sanitizer runtime reads /proc)
// and cope with their failure, while everything a hostile decoder would
// need is refused all the same. False when the filter cannot be installed.
//
// `runtime_reads_files`: files may still be opened for reading. Only for
// sanitizer builds, whose runtimes read /proc/self/maps whenever a thread
// starts and abort when they cannot.
bool confine_system_calls(bool runtime_reads_files = false);

} // namespace quorin::host::os
