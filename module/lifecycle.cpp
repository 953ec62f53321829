// Loaded and Unloaded: a minimal form until settings and expiry are wired in.
#include "trelvane_module.h"

extern "C" {

bool Loaded() { return false; }

bool Unloaded() { return true; }

} // extern "C"
