#include "bench/feed_stick.h"

#include <algorithm>
#include <chrono>

namespace draftwell::bench {

void FeedStick::feed(std::span<const std::uint8_t> bytes) {
    {
        const std::lock_guard lock(mutex_);
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    }
    fed_.notify_all();
}

std::uint32_t FeedStick::read(std::uint8_t* buffer, std::uint32_t size, std::uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    if (!fed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !bytes_.empty(); })) {
        return 0;
    }
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(size, bytes_.size()));
    std::copy_n(bytes_.begin(), count, buffer);
    bytes_.erase(bytes_.begin(), bytes_.begin() + count);
    return count;
}

} // namespace draftwell::bench
