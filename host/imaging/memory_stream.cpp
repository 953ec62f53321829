#include "imaging/memory_stream.h"

#include <FreeImage.h>

namespace quorin::host {

memory_stream::memory_stream() : stream_(FreeImage_OpenMemory()) {}

memory_stream::~memory_stream() {
    if (stream_ != nullptr) FreeImage_CloseMemory(stream_);
}

} // namespace quorin::host
