#include "bridge/receive_hand_over.h"

#include <utility>

namespace draftwell {

ReceiveHandOver::ReceiveHandOver(Post post) : post_(std::move(post)) {}

void ReceiveHandOver::open() {
    {
        const MutexLock lock(state_->mutex);
        state_->accepting = true;
        ++state_->session;
    }
    state_->changed.notify_all();
}

void ReceiveHandOver::close() {
    {
        const MutexLock lock(state_->mutex);
        state_->accepting = false;
    }
    state_->changed.notify_all();
}

void ReceiveHandOver::handOver(std::function<void()> step) {
    const std::shared_ptr<State> state = state_;
    MutexLock lock(state->mutex);
    if (!state->accepting) {
        return;
    }
    const std::uint64_t session = state->session;
    // Guarded by state->mutex.
    auto done = std::make_shared<bool>(false);
    lock.unlock();

    post_([state, session, done, step = std::move(step)] {
        bool current = false;
        {
            const MutexLock stepLock(state->mutex);
            current = state->accepting && state->session == session;
        }
        // open() and close() also run on the queue, so the session cannot end while the step runs.
        if (current) {
            step();
        }
        {
            const MutexLock stepLock(state->mutex);
            *done = true;
        }
        state->changed.notify_all();
    });

    lock.lock();
    while (!*done && state->accepting && state->session == session) {
        state->changed.wait(lock.forWait());
    }
}

} // namespace draftwell
