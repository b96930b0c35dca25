#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <span>

namespace draftwell::bench {

// When each broadcast left the virtual stick, in sending order, so the
// receiving side can tell how long its payload took to arrive.
class BroadcastLog {
  public:
    using Clock = std::chrono::steady_clock;
    using Payload = std::array<std::uint8_t, 8>;

    // Any thread.
    void recordSent(const Payload& payload, Clock::time_point sentAt);
    // The sending time of the oldest unmatched broadcast with this payload.
    // Older unmatched ones were lost on the way and are counted as such.
    std::optional<Clock::time_point> matchReceived(std::span<const std::uint8_t> payload);
    // Forgets what was sent so far (e.g. before a measuring window).
    void clear();
    std::int64_t sentCount() const;
    std::int64_t lostCount() const;

  private:
    struct Sent {
        Payload payload;
        Clock::time_point at;
    };
    mutable std::mutex mutex_;
    std::deque<Sent> pending_;
    std::int64_t sent_ = 0;
    std::int64_t lost_ = 0;
};

} // namespace draftwell::bench
