#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>

namespace draftwell::bench {

// A stick that sends whatever it is fed, as fast as the host reads it, and
// swallows what the host writes. Shared by its device and open handle.
class FeedStick {
  public:
    // Bytes for the host; any thread.
    void feed(std::span<const std::uint8_t> bytes);
    // Up to `size` fed bytes, waiting at most timeoutMs for the first; 0 on time-out.
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t size, std::uint32_t timeoutMs);

  private:
    std::mutex mutex_;
    std::condition_variable fed_;
    std::deque<std::uint8_t> bytes_;
};

} // namespace draftwell::bench
