#include "bridge/bridge_work_queue.h"

#include <pthread.h>

#include <cstdio>
#include <exception>
#include <utility>

namespace draftwell {

namespace {

// A task that throws must not end the queue's thread.
void runGuarded(const std::function<void()>& task) {
    try {
        task();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bridge work queue: task failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "bridge work queue: task failed\n");
    }
}

} // namespace

BridgeWorkQueue::BridgeWorkQueue(const std::string& label) : thread_([this, label] { run(label); }) {}

void BridgeWorkQueue::Completion::finish() {
    {
        const MutexLock lock(mutex);
        finished = true;
    }
    done.notify_all();
}

BridgeWorkQueue::~BridgeWorkQueue() {
    {
        const MutexLock lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    // A thread waiting in performSync on a task that will never run now must
    // not wait forever.
    for (Task& task : tasks_) {
        if (task.completion) {
            task.completion->finish();
        }
    }
}

bool BridgeWorkQueue::isStopping() const {
    const MutexLock lock(mutex_);
    return stopping_;
}

std::size_t BridgeWorkQueue::pendingTasks() const {
    const MutexLock lock(mutex_);
    return tasks_.size();
}

bool BridgeWorkQueue::isCurrentThread() const {
    return std::this_thread::get_id() == thread_.get_id();
}

void BridgeWorkQueue::post(std::function<void()> task) {
    {
        const MutexLock lock(mutex_);
        if (stopping_) {
            return;
        }
        tasks_.push_back(Task{std::move(task), nullptr});
    }
    wake_.notify_all();
}

void BridgeWorkQueue::performSync(const std::function<void()>& task) {
    if (isCurrentThread()) {
        runGuarded(task);
        return;
    }
    auto completion = std::make_shared<Completion>();
    bool queued = false;
    {
        const MutexLock lock(mutex_);
        if (!stopping_) {
            tasks_.push_back(Task{[&task, completion] {
                                      runGuarded(task);
                                      completion->finish();
                                  },
                                  completion});
            queued = true;
        }
    }
    if (!queued) {
        return;
    }
    wake_.notify_all();
    MutexLock lock(completion->mutex);
    while (!completion->finished) {
        completion->done.wait(lock.forWait());
    }
}

BridgeWorkQueue::TimerId BridgeWorkQueue::startRepeatingTimer(std::chrono::milliseconds interval,
                                                              std::function<void()> fire) {
    TimerId id = 0;
    {
        const MutexLock lock(mutex_);
        id = nextTimerId_++;
        timers_.emplace(id, Timer{Clock::now() + interval, interval, std::move(fire)});
    }
    wake_.notify_all();
    return id;
}

void BridgeWorkQueue::cancelTimer(TimerId id) {
    const MutexLock lock(mutex_);
    timers_.erase(id);
}

void BridgeWorkQueue::run(const std::string& label) {
    // The kernel keeps 15 characters of a thread name.
    pthread_setname_np(pthread_self(), label.substr(label.size() > 15 ? label.size() - 15 : 0).c_str());
    MutexLock lock(mutex_);
    while (!stopping_) {
        if (!tasks_.empty()) {
            std::function<void()> task = std::move(tasks_.front().work);
            tasks_.pop_front();
            lock.unlock();
            runGuarded(task);
            task = nullptr; // released outside the lock
            lock.lock();
            continue;
        }
        auto earliest = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (earliest == timers_.end() || it->second.due < earliest->second.due) {
                earliest = it;
            }
        }
        if (earliest == timers_.end()) {
            wake_.wait(lock.forWait()); // woken by post, a new timer or stop
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (earliest->second.due > now) {
            wake_.wait_until(lock.forWait(), earliest->second.due);
            continue;
        }
        Timer& timer = earliest->second;
        timer.due += timer.interval;
        if (timer.due <= now) {
            timer.due = now + timer.interval; // fell behind: no burst of firings
        }
        std::function<void()> fire = timer.fire;
        lock.unlock();
        runGuarded(fire);
        fire = nullptr;
        lock.lock();
    }
}

} // namespace draftwell
