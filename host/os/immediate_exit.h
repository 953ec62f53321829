// Leaving the process at once: no destructors, no handlers registered to
// run at exit.
#pragma once

namespace quorin::host::os {

[[noreturn]] void exit_at_once(int code);

} // namespace quorin::host::os
