#include "platform/module_reference.h"

namespace quorin::platform {

// dlclose runs the static destructors, which stop and join the thread
// before the code goes: nothing needs to be held.
void module_reference::hold() {}
void module_reference::release() {}

} // namespace quorin::platform
