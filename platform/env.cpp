// Which env the module uses: the operating system's, or one a test installed.
#include <atomic>

#include "platform/env.h"

namespace quorin::platform {
namespace {

std::atomic<env*> installed{nullptr};

} // namespace

env& current_env() {
    env* replacement = installed.load(std::memory_order_acquire);
    return replacement != nullptr ? *replacement : default_env();
}

scoped_env::scoped_env(env& replacement)
    : previous_(installed.exchange(&replacement, std::memory_order_acq_rel)) {}

scoped_env::~scoped_env() { installed.store(previous_, std::memory_order_release); }

} // namespace quorin::platform
