#include "ant/interval_timer.h"

struct IntervalTimer::State {
    Callback callback = nullptr; // null once the thread has ended: not running
    void* argument = nullptr;
    bool stop = false;
    DSI_MUTEX mutex{};
    DSI_CONDITION_VAR wake{};
    DSI_CONDITION_VAR ended{};
    bool recurring = false;
    std::uint32_t interval = 0;
    bool mutexCreated = false;
    bool endedCreated = false;
    bool wakeCreated = false;

    ~State() {
        if (mutexCreated) {
            DSIThread_MutexDestroy(&mutex);
        }
        if (endedCreated) {
            DSIThread_CondDestroy(&ended);
        }
        if (wakeCreated) {
            DSIThread_CondDestroy(&wake);
        }
    }
};

namespace {

constexpr std::uint32_t kStopAcknowledgeMs = 3000;
constexpr std::uint32_t kDeadlinePassed = 0x7FFFFFFFu;

void* timerThread(void* raw) {
    auto* handOver = static_cast<std::shared_ptr<IntervalTimer::State>*>(raw);
    const std::shared_ptr<IntervalTimer::State> state = std::move(*handOver);
    delete handOver;

    std::uint32_t next = DSIThread_GetSystemTime();
    DSIThread_MutexLock(&state->mutex);
    while (!state->stop) {
        next += state->interval;
        // Unsigned distance to the deadline; a huge value means it has passed.
        for (;;) {
            const std::uint32_t remaining = next - DSIThread_GetSystemTime();
            if (state->stop || remaining == 0 || remaining >= kDeadlinePassed) {
                break;
            }
            const DSI_THREAD_RESULT result = DSIThread_CondTimedWait(&state->wake, &state->mutex, remaining);
            if (result == DSI_THREAD_ETIMEDOUT) {
                break;
            }
            if (result != DSI_THREAD_ENONE) {
                state->stop = true;
            }
            // Woken: either asked to stop or spuriously; the loop decides.
        }
        if (state->stop) {
            break;
        }
        const IntervalTimer::Callback callback = state->callback;
        void* const argument = state->argument;
        DSIThread_MutexUnlock(&state->mutex);
        // Without the lock, so the callback may take locks the timer's owner holds.
        callback(argument);
        DSIThread_MutexLock(&state->mutex);
        if (!state->recurring) {
            state->stop = true;
        }
    }
    state->callback = nullptr;
    DSIThread_CondSignal(&state->ended);
    DSIThread_MutexUnlock(&state->mutex);
    return nullptr;
}

} // namespace

IntervalTimer::IntervalTimer(Callback callback, void* argument, std::uint32_t intervalMs, bool recurring)
    : state_(std::make_shared<State>()) {
    state_->argument = argument;
    state_->interval = intervalMs;
    state_->recurring = recurring;
    state_->mutexCreated = DSIThread_MutexInit(&state_->mutex) == DSI_THREAD_ENONE;
    state_->endedCreated = state_->mutexCreated && DSIThread_CondInit(&state_->ended) == DSI_THREAD_ENONE;
    state_->wakeCreated = state_->endedCreated && DSIThread_CondInit(&state_->wake) == DSI_THREAD_ENONE;
    // A recurring timer with no interval would fire back to back for ever.
    if (!state_->wakeCreated || callback == nullptr || (recurring && intervalMs == 0)) {
        return;
    }
    state_->callback = callback;
    auto* handOver = new std::shared_ptr<State>(state_);
    thread_ = DSIThread_CreateThread(timerThread, handOver);
    if (thread_ == nullptr) {
        delete handOver;
        state_->callback = nullptr;
    }
}

IntervalTimer::~IntervalTimer() {
    if (thread_ == nullptr) {
        return;
    }
    DSIThread_MutexLock(&state_->mutex);
    state_->stop = true;
    DSIThread_CondSignal(&state_->wake);
    const std::uint32_t start = DSIThread_GetSystemTime();
    bool ended = state_->callback == nullptr;
    while (!ended) {
        const std::uint32_t waited = DSIThread_GetSystemTime() - start;
        if (waited >= kStopAcknowledgeMs) {
            break;
        }
        const DSI_THREAD_RESULT result =
            DSIThread_CondTimedWait(&state_->ended, &state_->mutex, kStopAcknowledgeMs - waited);
        ended = state_->callback == nullptr;
        if (result != DSI_THREAD_ENONE) {
            break;
        }
    }
    DSIThread_MutexUnlock(&state_->mutex);
    if (ended) {
        // The thread has signalled its end, so the join is immediate.
        DSIThread_JoinThread(thread_);
    } else {
        DSIThread_DestroyThread(thread_);
        DSIThread_ReleaseThread(thread_);
    }
    thread_ = nullptr;
}

bool IntervalTimer::IsRunning() {
    if (!state_->mutexCreated) {
        return false;
    }
    DSIThread_MutexLock(&state_->mutex);
    const bool running = state_->callback != nullptr && !state_->stop;
    DSIThread_MutexUnlock(&state_->mutex);
    return running;
}
