#pragma once
// The interrupt queue: occurrences of attached events that wait for their routine. Events
// belong to three groups, communication before I/O before timed, and have a rank inside their
// group; each group has a queue of its own with the depth of the CPU model. The routine of the
// highest group and rank runs first, occurrences of one event in the order they came.
#include <array>
#include <cstdint>

namespace korvane {

enum class EventGroup : std::uint8_t { Communication = 0, Io = 1, Timed = 2 };

struct EventPriority {
    EventGroup group;
    std::uint8_t rank;  // 0 = highest inside the group
};

// The group and rank of event 0 to 33.
EventPriority eventPriority(int event);

// How many occurrences each group's queue holds.
struct InterruptQueueDepths {
    int communication = 4;
    int io = 16;
    int timed = 8;
};

class InterruptQueue {
public:
    static constexpr int kGroups = 3;
    static constexpr int kMaxDepth = 16;

    struct Occurrence {
        std::uint8_t event = 0;
        std::uint8_t data = 0;     // the received character of events 8 and 25
        std::int32_t routine = -1;  // the routine attached when the event occurred
        std::uint32_t order = 0;    // arrival order
    };

    // Depths above kMaxDepth are cut to it. Occurrences already queued stay.
    void setDepths(const InterruptQueueDepths& d);
    const InterruptQueueDepths& depths() const { return depths_; }

    // Queues an occurrence of event 0 to 33; false when its group's queue is full (the
    // occurrence is lost).
    bool push(int event, int routine, std::uint8_t data = 0);
    // Takes the occurrence to run next; false when the queue is empty.
    bool pop(Occurrence& out);
    // Removes every queued occurrence of the event; returns how many there were.
    int removeEvent(int event);
    void clear();

    int size() const { return count_[0] + count_[1] + count_[2]; }
    int size(EventGroup g) const { return count_[static_cast<std::size_t>(g)]; }

private:
    int depthOf(std::size_t group) const;

    InterruptQueueDepths depths_;
    std::array<std::array<Occurrence, kMaxDepth>, kGroups> slots_{};
    std::array<int, kGroups> count_{};
    std::uint32_t nextOrder_ = 0;
};

}  // namespace korvane
