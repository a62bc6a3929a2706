#pragma once
#include <chrono>
#include <functional>
#include <vector>

#include <poll.h>

namespace korvane {

// The real-time runner's wait between firings: on a set of descriptors (serial lines,
// sockets) until the wall clock reaches the next firing, so that an idle runner sleeps and a
// byte or a connection that arrives is handled at once.
class DescriptorWait {
public:
    // The events to wait for and to report are poll()'s (POLLIN, POLLOUT, POLLHUP, ...).
    using Handler = std::function<void(short revents)>;

    // Forgets the descriptors (keeping the storage).
    void clear();
    // A descriptor below 0 is left out. The handlers must not change the set.
    void add(int fd, short events, Handler onReady);
    // Waits until a descriptor reports or the time given comes (only looks when it has
    // passed), then runs the handlers of the descriptors that reported. True when one
    // reported; false when the time came first or a signal cut the wait short.
    bool waitUntil(std::chrono::steady_clock::time_point until);

private:
    struct Entry {
        int fd;
        short events;
        Handler onReady;
    };
    std::vector<Entry> entries_;
    std::vector<pollfd> fds_;
};

}  // namespace korvane
