#pragma once

#include <condition_variable>
#include <mutex>

#include "ant/thread_annotations.h"

namespace draftwell {

// std::mutex as a capability the thread-safety analysis can follow.
class CAPABILITY("mutex") Mutex {
  public:
    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }

  private:
    friend class MutexLock;
    std::mutex mutex_;
};

// Holds a Mutex for its scope; can let go and take it again, and lends the
// lock to a condition variable (which gives it back before returning).
class SCOPED_CAPABILITY MutexLock {
  public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : lock_(mutex.mutex_) {}
    ~MutexLock() RELEASE() {}

    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    void lock() ACQUIRE() { lock_.lock(); }
    void unlock() RELEASE() { lock_.unlock(); }

    std::unique_lock<std::mutex>& forWait() { return lock_; }

  private:
    std::unique_lock<std::mutex> lock_;
};

} // namespace draftwell
