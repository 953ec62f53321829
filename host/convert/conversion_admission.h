// Admission of conversions: each one runs holding a slot and its share of
// a memory budget, so that a burst of misses cannot start more decodes
// than the cores run or the machine holds. A conversion that cannot start
// at once waits its turn in a bounded queue, for a bounded time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace quorin::host {

enum class admission_verdict {
    granted,
    queue_full,      // every queue place was taken
    waited_too_long, // no slot or share came within the longest wait
    too_large,       // the share asked for exceeds the whole budget
};

struct admission_limits {
    unsigned slots = 1;
    std::uint64_t memory_bytes = 0;
    unsigned queue_length = 0; // 0: refuse whatever cannot start at once
    std::chrono::steady_clock::duration longest_wait{};
};

class conversion_admission {
public:
    // What an admission gave; a granted ticket holds its slot and share
    // until it is released or goes.
    class ticket {
    public:
        ticket(ticket&& other) noexcept;
        ~ticket() { release(); }

        admission_verdict verdict() const { return verdict_; }
        bool granted() const { return verdict_ == admission_verdict::granted; }
        void release();

    private:
        friend class conversion_admission;
        ticket(conversion_admission* owner, std::uint64_t bytes, admission_verdict verdict)
            : owner_(owner), bytes_(bytes), verdict_(verdict) {}

        conversion_admission* owner_; // null when it holds nothing
        std::uint64_t bytes_;
        admission_verdict verdict_;
    };

    explicit conversion_admission(const admission_limits& limits);
    conversion_admission(const conversion_admission&) = delete;
    conversion_admission& operator=(const conversion_admission&) = delete;

    // A slot and `bytes` of the budget, at once or after waiting behind
    // the conversions queued before; refused when the queue is full, the
    // wait too long, or `bytes` more than the budget.
    ticket admit(std::uint64_t bytes);

    // From now on every admission is refused as having waited too long,
    // those queued at once: the server stops, and no request may keep it
    // waiting.
    void close();

    std::uint64_t memory_budget() const { return limits_.memory_bytes; }
    // Conversions queued now.
    std::size_t waiting() const;

private:
    struct waiter {
        explicit waiter(std::uint64_t wanted) : bytes(wanted) {}
        std::uint64_t bytes;
        bool granted = false;
        std::condition_variable woken;
    };

    bool fits(std::uint64_t bytes) const { return free_slots_ > 0 && bytes <= free_bytes_; }
    void take(std::uint64_t bytes);
    void give_back(std::uint64_t bytes);
    // Grants the queue from its head, in order, while the head fits.
    void grant_waiting();

    const admission_limits limits_;
    mutable std::mutex mutex_;
    unsigned free_slots_;
    std::uint64_t free_bytes_;
    std::deque<waiter*> queue_;
    bool closed_ = false;
};

} // namespace quorin::host
