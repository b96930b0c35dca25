#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace draftwell {

// The bridge's serial work queue: one thread that runs tasks one at a time in
// submission order, and repeating timers between them. The owner constructs
// and destroys it; destruction drops what has not run yet and joins the thread.
class BridgeWorkQueue {
  public:
    using Clock = std::chrono::steady_clock;
    using TimerId = std::uint64_t;

    explicit BridgeWorkQueue(const std::string& label);
    ~BridgeWorkQueue();
    BridgeWorkQueue(const BridgeWorkQueue&) = delete;
    BridgeWorkQueue& operator=(const BridgeWorkQueue&) = delete;

    bool isCurrentThread() const;
    // Returns at once.
    void post(std::function<void()> task);
    // Inline when already on the queue, else waits until the queue has run it.
    // Unbounded wait: every task on the queue ends in bounded time (library
    // commands carry time-outs), so the caller is released.
    void performSync(const std::function<void()>& task);

    // Fires `fire` on the queue every `interval`, the first time one interval from now.
    TimerId startRepeatingTimer(std::chrono::milliseconds interval, std::function<void()> fire);
    // No further firing after this returns (when called on the queue, also from within `fire`).
    void cancelTimer(TimerId id);

  private:
    struct Timer {
        Clock::time_point due;
        std::chrono::milliseconds interval;
        std::function<void()> fire;
    };

    void run(const std::string& label);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    std::map<TimerId, Timer> timers_;
    TimerId nextTimerId_ = 1;
    bool stopping_ = false;
    std::thread thread_; // last: started once the state above exists
};

} // namespace draftwell
