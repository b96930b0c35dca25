#pragma once

#include <cstdint>
#include <memory>

#include "ant/dsi_thread.h"

// Calls a callback on its own thread once, or every interval without drift.
class IntervalTimer {
  public:
    using Callback = void (*)(void* argument);

    // If the thread cannot be started, or a recurring interval is 0, the timer
    // reports that it is not running.
    IntervalTimer(Callback callback, void* argument, std::uint32_t intervalMs, bool recurring);
    // Stops the thread; one stuck in its callback for more than 3000 ms is abandoned.
    ~IntervalTimer();
    IntervalTimer(const IntervalTimer&) = delete;
    IntervalTimer& operator=(const IntervalTimer&) = delete;

    bool IsRunning();

    struct State;

  private:
    // Shared with the timer thread, which may outlive the timer when abandoned.
    std::shared_ptr<State> state_;
    DSI_THREAD_ID thread_ = nullptr;
};
