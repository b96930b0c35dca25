#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "ant/annotated_mutex.h"

namespace draftwell {

// The bridge's serial work queue: one thread that runs tasks one at a time in
// submission order, and repeating timers between them. The owner constructs
// and destroys it; destruction drops what has not run yet (releasing anyone
// waiting on a dropped task) and joins the thread.
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
    // Inline when already on the queue, else waits until the queue has run it
    // or dropped it at destruction. Unbounded wait: every task on the queue
    // ends in bounded time (library commands carry time-outs), and a dropped
    // task releases its waiter, so the caller is always released.
    void performSync(const std::function<void()>& task);

    // True once destruction has begun; later tasks are dropped.
    bool isStopping() const;
    // Tasks waiting to run.
    std::size_t pendingTasks() const;

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

    // What performSync waits on; set when its task ran or was dropped.
    struct Completion {
        Mutex mutex;
        std::condition_variable done;
        bool finished GUARDED_BY(mutex) = false;

        void finish();
    };
    struct Task {
        std::function<void()> work;
        std::shared_ptr<Completion> completion; // only for synchronous submissions
    };

    void run(const std::string& label);

    mutable Mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_ GUARDED_BY(mutex_);
    std::map<TimerId, Timer> timers_ GUARDED_BY(mutex_);
    TimerId nextTimerId_ GUARDED_BY(mutex_) = 1;
    bool stopping_ GUARDED_BY(mutex_) = false;
    std::thread thread_; // last: started once the state above exists
};

} // namespace draftwell
