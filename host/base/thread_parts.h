// State that threads would otherwise share on every request, kept in a few
// parts instead, one for each thread in turn: the loop threads, few, then
// each have a part to themselves, so that they neither wait for each other
// nor pass its memory between their cores. Past `thread_part_count`
// threads, parts are shared, so a part must still be safe to share.
#pragma once

#include <array>
#include <cstddef>

namespace quorin::host {

inline constexpr std::size_t thread_part_count = 8;

// The calling thread's part, the same for its whole life.
std::size_t this_thread_part();

template <typename Part>
class thread_parts {
public:
    Part& mine() { return parts_[this_thread_part()].part; }

    template <typename Visit>
    void each(Visit visit) const {
        for (const auto& slot : parts_) visit(slot.part);
    }

private:
    // A cache line each, so that two threads' writes never meet in one.
    struct alignas(64) slot {
        Part part;
    };
    std::array<slot, thread_part_count> parts_{};
};

} // namespace quorin::host
