#include "platform/object_server.h"

#include <algorithm>

namespace korvane {

void AnswerQueue::push(std::span<const std::uint8_t> message) {
    if (message.empty()) return;
    bytes_.insert(bytes_.end(), message.begin(), message.end());
    lengths_.push_back(static_cast<std::uint32_t>(message.size()));
    while (bytes_.size() > limit_ && lengths_.size() > 1) {
        const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(begun_);
        bytes_.erase(first, first + static_cast<std::ptrdiff_t>(lengths_.front()));
        lengths_.pop_front();
        ++dropped_;
    }
}

std::size_t AnswerQueue::peek(std::uint8_t* out, std::size_t n) const {
    n = std::min(n, bytes_.size());
    std::copy_n(bytes_.begin(), n, out);
    return n;
}

void AnswerQueue::consume(std::size_t n) {
    n = std::min(n, bytes_.size());
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(n));
    while (n > 0) {
        if (begun_ == 0) {
            begun_ = lengths_.front();
            lengths_.pop_front();
        }
        const std::size_t k = std::min(n, begun_);
        begun_ -= k;
        n -= k;
    }
}

void AnswerQueue::clear() {
    bytes_.clear();
    lengths_.clear();
    begun_ = 0;
    dropped_ = 0;
}

}  // namespace korvane
