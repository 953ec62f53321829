// Ownership of one Win32 handle.
#pragma once

#include <windows.h>

namespace quorin::platform::win32 {

class handle {
public:
    explicit handle(HANDLE value = INVALID_HANDLE_VALUE) : value_(value) {}
    ~handle() {
        if (valid()) ::CloseHandle(value_);
    }
    handle(const handle&) = delete;
    handle& operator=(const handle&) = delete;

    bool valid() const { return value_ != INVALID_HANDLE_VALUE && value_ != nullptr; }
    HANDLE get() const { return value_; }

private:
    HANDLE value_;
};

} // namespace quorin::platform::win32
