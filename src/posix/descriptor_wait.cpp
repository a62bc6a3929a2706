#include "posix/descriptor_wait.h"

#include <algorithm>

#include <time.h>

namespace korvane {

void DescriptorWait::clear() { entries_.clear(); }

void DescriptorWait::add(int fd, short events, Handler onReady) {
    if (fd >= 0) entries_.push_back({fd, events, std::move(onReady)});
}

bool DescriptorWait::waitUntil(std::chrono::steady_clock::time_point until) {
    std::vector<pollfd>& fds = fds_;
    fds.clear();
    for (const Entry& e : entries_) fds.push_back({e.fd, e.events, 0});
    // To the nanosecond: a wait in whole milliseconds would round the last fraction of one
    // down to nothing and spin through it.
    const auto left = std::max(until - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec timeout{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    if (::ppoll(fds.data(), fds.size(), &timeout, nullptr) <= 0) return false;  // the time came, or EINTR
    // The set is the caller's until the next clear(): the handlers do not change it.
    for (std::size_t i = 0; i < fds.size(); ++i)
        if (fds[i].revents != 0 && entries_[i].onReady) entries_[i].onReady(fds[i].revents);
    return true;
}

}  // namespace korvane
