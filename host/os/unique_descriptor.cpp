#include "os/unique_descriptor.h"

#include <unistd.h>

namespace quorin::host::os {

void unique_descriptor::reset() {
    if (descriptor_ >= 0) ::close(release());
}

} // namespace quorin::host::os
