// One pass of cache expiry over the leaf directories of the cache tree.
#pragma once

#include "expiry/stop_signal.h"

namespace quorin {

// Lists the 16 x 256 leaf directories under `cache_root`, collects in scan
// order every file whose age exceeds `cache_delete_time`, then deletes them
// in that order, writing its phases and failed deletions to the operation
// log. A stop request ends it between two directory entries or two
// deletions; the log still gets "DELETE_PROC OUT" and is closed.
void expiry_sweep(const stop_signal& stop = {});

} // namespace quorin
