#pragma once

#include <cstdint>
#include <deque>
#include <stdexcept>

#include "ant/dsi_thread.h"

// Thread-safe FIFO with a blocking, time-limited bulk pop. No capacity limit.
template <typename T, typename Container = std::deque<T>> class TSQueue {
  public:
    // Throws std::runtime_error if the lock or the condition cannot be created.
    TSQueue() {
        if (DSIThread_CondInit(&notEmpty_) != DSI_THREAD_ENONE) {
            throw std::runtime_error("TSQueue: condition");
        }
        if (DSIThread_MutexInit(&mutex_) != DSI_THREAD_ENONE) {
            DSIThread_CondDestroy(&notEmpty_);
            throw std::runtime_error("TSQueue: mutex");
        }
    }
    ~TSQueue() {
        DSIThread_MutexDestroy(&mutex_);
        DSIThread_CondDestroy(&notEmpty_);
    }
    TSQueue(const TSQueue&) = delete;
    TSQueue& operator=(const TSQueue&) = delete;

    void Push(const T& element) {
        DSIThread_MutexLock(&mutex_);
        container_.push_back(element);
        DSIThread_CondSignal(&notEmpty_);
        DSIThread_MutexUnlock(&mutex_);
    }

    void PushArray(const T* items, std::uint32_t count) {
        DSIThread_MutexLock(&mutex_);
        container_.insert(container_.end(), items, items + count);
        DSIThread_CondSignal(&notEmpty_);
        DSIThread_MutexUnlock(&mutex_);
    }

    // Takes up to maxCount elements, oldest first. Waits at most once, and only
    // if the queue is empty; 0 means nothing arrived (or a wake-up found none).
    std::uint32_t PopArray(T* out, std::uint32_t maxCount, std::uint32_t timeoutMs) {
        DSIThread_MutexLock(&mutex_);
        if (container_.empty() &&
            (woken_ || DSIThread_CondTimedWait(&notEmpty_, &mutex_, timeoutMs) != DSI_THREAD_ENONE)) {
            woken_ = false;
            DSIThread_MutexUnlock(&mutex_);
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
        DSIThread_MutexUnlock(&mutex_);
        return count;
    }

    // Ends the consumer's current or next wait of PopArray at once, so a
    // thread that is being stopped need not wait out its time-out.
    void Wake() {
        DSIThread_MutexLock(&mutex_);
        woken_ = true;
        DSIThread_CondSignal(&notEmpty_);
        DSIThread_MutexUnlock(&mutex_);
    }

  private:
    bool woken_ = false;
    DSI_CONDITION_VAR notEmpty_;
    DSI_MUTEX mutex_;
    Container container_;
};
