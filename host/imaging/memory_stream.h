// A growable in-memory stream of the image library, owned.
#pragma once

#include "trelvane_module.h"

namespace quorin::host {

// Owns one of the library's memory streams.
class memory_stream {
public:
    memory_stream(); // a fresh, empty, growable stream
    ~memory_stream();
    memory_stream(const memory_stream&) = delete;
    memory_stream& operator=(const memory_stream&) = delete;

    FIMEMORY* get() const { return stream_; }

private:
    FIMEMORY* stream_;
};

} // namespace quorin::host
