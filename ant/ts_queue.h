#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>

#include "ant/annotated_mutex.h"
#include "ant/dsi_thread.h"

// Thread-safe FIFO with a blocking, time-limited bulk pop. No capacity limit.
template <typename T, typename Container = std::deque<T>> class TSQueue {
  public:
    TSQueue() = default;
    TSQueue(const TSQueue&) = delete;
    TSQueue& operator=(const TSQueue&) = delete;

    void Push(const T& element) {
        const draftwell::MutexLock lock(mutex_);
        container_.push_back(element);
        notEmpty_.notify_one();
    }

    void PushArray(const T* items, std::uint32_t count) {
        const draftwell::MutexLock lock(mutex_);
        container_.insert(container_.end(), items, items + count);
        notEmpty_.notify_one();
    }

    // Takes up to maxCount elements, oldest first. Waits at most once, and only
    // if the queue is empty; 0 means nothing arrived (or a wake-up found none).
    // DSI_THREAD_INFINITE waits without limit.
    std::uint32_t PopArray(T* out, std::uint32_t maxCount, std::uint32_t timeoutMs) {
        draftwell::MutexLock lock(mutex_);
        if (container_.empty() && (woken_ || !WaitOnce(lock, timeoutMs))) {
            woken_ = false;
            return 0;
        }
        woken_ = false;
        std::uint32_t count = maxCount;
        if (container_.size() < count) {
            count = static_cast<std::uint32_t>(container_.size());
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            out[i] = container_.front();
            container_.pop_front();
        }
        return count;
    }

    // Ends the consumer's current or next wait of PopArray at once, so a
    // thread that is being stopped need not wait out its time-out.
    void Wake() {
        const draftwell::MutexLock lock(mutex_);
        woken_ = true;
        notEmpty_.notify_one();
    }

  private:
    // False when the time ran out.
    bool WaitOnce(draftwell::MutexLock& lock, std::uint32_t timeoutMs) REQUIRES(mutex_) {
        if (timeoutMs == DSI_THREAD_INFINITE) {
            notEmpty_.wait(lock.forWait());
            return true;
        }
        return notEmpty_.wait_for(lock.forWait(), std::chrono::milliseconds(timeoutMs)) ==
               std::cv_status::no_timeout;
    }

    draftwell::Mutex mutex_;
    std::condition_variable notEmpty_;
    bool woken_ GUARDED_BY(mutex_) = false;
    Container container_ GUARDED_BY(mutex_);
};
