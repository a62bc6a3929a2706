#include "core/interrupt_queue.h"

#include <algorithm>

namespace korvane {

namespace {

constexpr EventPriority C(int rank) { return {EventGroup::Communication, static_cast<std::uint8_t>(rank)}; }
constexpr EventPriority D(int rank) { return {EventGroup::Io, static_cast<std::uint8_t>(rank)}; }
constexpr EventPriority T(int rank) { return {EventGroup::Timed, static_cast<std::uint8_t>(rank)}; }

// Indexed by event number. Port 0's three events share a rank, and so do port 1's: among
// them the one that came first runs first.
constexpr std::array<EventPriority, 34> kPriorities{
    D(2),  D(6),  D(3),  D(7),  D(4),  D(8),  D(5),  D(9),   // 0-7: I0.0-I0.3 rising, falling
    C(0),  C(0),                                             // 8, 9: port 0 character, sent
    T(0),  T(1),                                             // 10, 11: timed interrupts
    D(10), D(13), D(14), D(15), D(16), D(17), D(18),         // 12-18: HSC0-HSC2
    D(0),  D(1),                                             // 19, 20: pulse outputs
    T(2),  T(3),                                             // 21, 22: T32, T96
    C(0),  C(1),  C(1),  C(1),                               // 23-26: messages, port 1
    D(11), D(12), D(20), D(21), D(22), D(19), D(23),         // 27-33: HSC0, HSC4, HSC3, HSC5
};

// a before b: an order counter that wrapped still compares by arrival.
bool earlier(const InterruptQueue::Occurrence& a, const InterruptQueue::Occurrence& b) {
    const std::uint8_t ra = kPriorities[a.event].rank;
    const std::uint8_t rb = kPriorities[b.event].rank;
    if (ra != rb) return ra < rb;
    return static_cast<std::int32_t>(a.order - b.order) < 0;
}

}  // namespace

EventPriority eventPriority(int event) {
    if (event < 0 || event >= static_cast<int>(kPriorities.size())) return T(255);
    return kPriorities[static_cast<std::size_t>(event)];
}

void InterruptQueue::setDepths(const InterruptQueueDepths& d) { depths_ = d; }

int InterruptQueue::depthOf(std::size_t group) const {
    const int d = group == 0 ? depths_.communication : group == 1 ? depths_.io : depths_.timed;
    return std::clamp(d, 0, kMaxDepth);
}

bool InterruptQueue::push(int event, int routine, std::uint8_t data) {
    if (event < 0 || event >= static_cast<int>(kPriorities.size())) return false;
    const auto g = static_cast<std::size_t>(kPriorities[static_cast<std::size_t>(event)].group);
    if (count_[g] >= depthOf(g)) return false;
    Occurrence& o = slots_[g][static_cast<std::size_t>(count_[g]++)];
    o.event = static_cast<std::uint8_t>(event);
    o.data = data;
    o.routine = routine;
    o.order = nextOrder_++;
    return true;
}

bool InterruptQueue::pop(Occurrence& out) {
    for (std::size_t g = 0; g < kGroups; ++g) {
        const int n = count_[g];
        if (n == 0) continue;
        auto& q = slots_[g];
        int best = 0;
        for (int i = 1; i < n; ++i)
            if (earlier(q[static_cast<std::size_t>(i)], q[static_cast<std::size_t>(best)])) best = i;
        out = q[static_cast<std::size_t>(best)];
        std::copy(q.begin() + best + 1, q.begin() + n, q.begin() + best);
        --count_[g];
        return true;
    }
    return false;
}

int InterruptQueue::removeEvent(int event) {
    int removed = 0;
    for (std::size_t g = 0; g < kGroups; ++g) {
        auto& q = slots_[g];
        const auto end = q.begin() + count_[g];
        const auto kept = std::remove_if(q.begin(), end, [event](const Occurrence& o) { return o.event == event; });
        const int gone = static_cast<int>(end - kept);
        count_[g] -= gone;
        removed += gone;
    }
    return removed;
}

void InterruptQueue::clear() { count_.fill(0); }

}  // namespace korvane
