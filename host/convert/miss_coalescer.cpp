#include "convert/miss_coalescer.h"

#include <utility>

namespace quorin::host {

miss_coalescer::lease::lease(miss_coalescer* owner, std::u16string key,
                             std::shared_ptr<in_flight> entry)
    : owner_(owner), key_(std::move(key)), entry_(std::move(entry)) {}

miss_coalescer::lease::lease(lease&& other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)), key_(std::move(other.key_)),
      entry_(std::move(other.entry_)) {}

miss_coalescer::lease& miss_coalescer::lease::operator=(lease&& other) noexcept {
    if (this != &other) {
        release();
        owner_ = std::exchange(other.owner_, nullptr);
        key_ = std::move(other.key_);
        entry_ = std::move(other.entry_);
    }
    return *this;
}

void miss_coalescer::lease::release() {
    if (owner_ == nullptr) return;
    std::exchange(owner_, nullptr)->finish(key_, *entry_);
    entry_.reset();
}

miss_coalescer::lease miss_coalescer::claim(const std::u16string& key) {
    std::unique_lock lock(mutex_);
    const auto [position, inserted] = converting_.try_emplace(key);
    if (inserted) {
        position->second = std::make_shared<in_flight>();
        return lease(this, key, position->second);
    }
    // Keeps the entry alive after the converter has removed it from the map.
    const std::shared_ptr<in_flight> entry = position->second;
    entry->done.wait(lock, [&] { return entry->finished; });
    return {};
}

void miss_coalescer::finish(const std::u16string& key, in_flight& entry) {
    {
        const std::lock_guard lock(mutex_);
        entry.finished = true;
        converting_.erase(key);
    }
    entry.done.notify_all();
}

} // namespace quorin::host
