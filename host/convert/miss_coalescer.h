// One conversion per cache key at a time: concurrent misses for the same
// key wait for the first to store its result instead of converting again.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace quorin::host {

class miss_coalescer {
    struct in_flight {
        bool finished = false;
        std::condition_variable done;
    };

public:
    // Held by the request that converts a key; releasing it (at the latest
    // when it goes) wakes every request waiting for that key.
    class lease {
    public:
        lease() = default;
        lease(lease&& other) noexcept;
        lease& operator=(lease&& other) noexcept;
        ~lease() { release(); }

        // True for the request that converts; false after waiting.
        bool converts() const { return owner_ != nullptr; }
        void release();

    private:
        friend class miss_coalescer;
        lease(miss_coalescer* owner, std::u16string key, std::shared_ptr<in_flight> entry);

        miss_coalescer* owner_ = nullptr;
        std::u16string key_;
        std::shared_ptr<in_flight> entry_;
    };

    // When nobody converts `key` now, the caller becomes its converter.
    // Otherwise blocks until the converter releases its lease and returns
    // an empty lease: the caller should then find the result in the cache.
    lease claim(const std::u16string& key);

private:
    void finish(const std::u16string& key, in_flight& entry);

    std::mutex mutex_;
    std::unordered_map<std::u16string, std::shared_ptr<in_flight>> converting_;
};

} // namespace quorin::host
