#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>

#include "ant/annotated_mutex.h"

namespace draftwell {

// Hands received channel events from the library's message thread to the work
// queue and keeps the message thread waiting until the queue has run them, so
// broadcasts are handled one at a time in order. A close sequence on the queue
// waits for the message thread to end; waiting on the queue then would
// deadlock, so close() releases every waiting hand-over and refuses new ones,
// and a step handed over in a session that has since closed never runs.
class ReceiveHandOver {
  public:
    using Post = std::function<void(std::function<void()>)>;

    // `post` queues a task on the work queue without waiting.
    explicit ReceiveHandOver(Post post);

    // On the work queue: a new session starts accepting hand-overs.
    void open();
    // On the work queue, before the library is closed: releases waiting hand-overs.
    void close();

    // On the message thread. Returns once `step` has run on the queue, or at
    // once when closed (the step then never runs). Waits without a time limit:
    // the queue's tasks end in bounded time and close() wakes the waiter.
    void handOver(std::function<void()> step);

  private:
    struct State {
        Mutex mutex;
        std::condition_variable changed;
        bool accepting GUARDED_BY(mutex) = false;
        std::uint64_t session GUARDED_BY(mutex) = 0;
    };

    std::shared_ptr<State> state_ = std::make_shared<State>();
    Post post_;
};

} // namespace draftwell
