// An open descriptor with one owner, closed when the owner goes.
#pragma once

#include <utility>

namespace quorin::host::os {

class unique_descriptor {
public:
    unique_descriptor() = default;
    explicit unique_descriptor(int descriptor) : descriptor_(descriptor) {}
    ~unique_descriptor() { reset(); }
    unique_descriptor(unique_descriptor&& other) noexcept : descriptor_(other.release()) {}
    unique_descriptor& operator=(unique_descriptor&& other) noexcept {
        if (this != &other) {
            reset();
            descriptor_ = other.release();
        }
        return *this;
    }
    unique_descriptor(const unique_descriptor&) = delete;
    unique_descriptor& operator=(const unique_descriptor&) = delete;

    int get() const { return descriptor_; }
    explicit operator bool() const { return descriptor_ >= 0; }
    // Hands the descriptor over; this one owns nothing afterwards.
    int release() { return std::exchange(descriptor_, -1); }
    void reset();

private:
    int descriptor_ = -1;
};

} // namespace quorin::host::os
