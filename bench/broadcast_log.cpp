#include "bench/broadcast_log.h"

#include <algorithm>

namespace draftwell::bench {

void BroadcastLog::recordSent(const Payload& payload, Clock::time_point sentAt) {
    const std::lock_guard lock(mutex_);
    pending_.push_back({payload, sentAt});
    ++sent_;
}

std::optional<BroadcastLog::Clock::time_point>
BroadcastLog::matchReceived(std::span<const std::uint8_t> payload) {
    if (payload.size() < 8) {
        return std::nullopt;
    }
    const std::lock_guard lock(mutex_);
    const auto it = std::find_if(pending_.begin(), pending_.end(), [&](const Sent& sent) {
        return std::equal(sent.payload.begin(), sent.payload.end(), payload.begin());
    });
    if (it == pending_.end()) {
        return std::nullopt;
    }
    const Clock::time_point at = it->at;
    lost_ += it - pending_.begin();
    pending_.erase(pending_.begin(), it + 1);
    return at;
}

void BroadcastLog::clear() {
    const std::lock_guard lock(mutex_);
    pending_.clear();
    sent_ = 0;
    lost_ = 0;
}

std::int64_t BroadcastLog::sentCount() const {
    const std::lock_guard lock(mutex_);
    return sent_;
}

std::int64_t BroadcastLog::lostCount() const {
    const std::lock_guard lock(mutex_);
    return lost_;
}

} // namespace draftwell::bench
