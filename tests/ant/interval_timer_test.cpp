#include <chrono>
#include <condition_variable>
#include <mutex>

#include <gtest/gtest.h>

#include "ant/interval_timer.h"
#include "tests/support/eventually.h"

namespace {

using Clock = std::chrono::steady_clock;

// Counts firings; can hold the callback until released.
struct FiringLog {
    std::mutex mutex;
    std::condition_variable changed;
    int firings = 0;
    bool hold = false;
    bool inCallback = false;
    bool callbackReturned = false;

    static void Fire(void* raw) {
        auto* log = static_cast<FiringLog*>(raw);
        std::unique_lock lock(log->mutex);
        ++log->firings;
        log->inCallback = true;
        log->changed.notify_all();
        // Bounded so a broken test cannot hang the run.
        log->changed.wait_for(lock, std::chrono::seconds(20), [&] { return !log->hold; });
        log->inCallback = false;
        log->callbackReturned = true;
        log->changed.notify_all();
    }

    template <typename Predicate> bool WaitFor(Predicate predicate) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), predicate);
    }
    int Firings() {
        std::lock_guard lock(mutex);
        return firings;
    }
};

// Absence is shown by waiting for a sentinel: a one-shot timer due well after
// the firing that must not come. Waiting on its firing, not on a sleep, keeps
// the check valid however slow the machine is.
void WaitForSentinelAfter(int ms) {
    FiringLog sentinel;
    IntervalTimer timer(FiringLog::Fire, &sentinel, static_cast<std::uint32_t>(ms), false);
    ASSERT_TRUE(sentinel.WaitFor([&] { return sentinel.firings == 1; }));
}

TEST(IntervalTimer, OneShotFiresOnceThenStops) {
    FiringLog log;
    IntervalTimer timer(FiringLog::Fire, &log, 20, false);
    ASSERT_TRUE(log.WaitFor([&] { return log.firings == 1 && log.callbackReturned; }));
    EXPECT_TRUE(draftwell::test::eventually([&] { return !timer.IsRunning(); }));
    WaitForSentinelAfter(100); // a second firing would come 20 ms after the first
    EXPECT_EQ(log.Firings(), 1);
}

TEST(IntervalTimer, RecurringFiresRepeatedlyUntilDestroyed) {
    FiringLog log;
    {
        IntervalTimer timer(FiringLog::Fire, &log, 10, true);
        EXPECT_TRUE(timer.IsRunning());
        ASSERT_TRUE(log.WaitFor([&] { return log.firings >= 5; }));
    }
    // The thread has been reaped: nothing fires any more, though a live timer
    // would have fired several times before the sentinel.
    const int afterDestroy = log.Firings();
    WaitForSentinelAfter(60);
    EXPECT_EQ(log.Firings(), afterDestroy);
    EXPECT_FALSE(log.inCallback);
}

TEST(IntervalTimer, IdleTimerIsDestroyedPromptlyAndTimersThatCannotWorkDoNotRun) {
    FiringLog log;
    const auto start = Clock::now();
    {
        IntervalTimer timer(FiringLog::Fire, &log, 60000, true);
        EXPECT_TRUE(timer.IsRunning());
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    IntervalTimer noCallback(nullptr, nullptr, 10, true);
    EXPECT_FALSE(noCallback.IsRunning());
    IntervalTimer noInterval(FiringLog::Fire, &log, 0, true);
    EXPECT_FALSE(noInterval.IsRunning());
    EXPECT_EQ(log.Firings(), 0);
}

TEST(IntervalTimer, StuckCallbackIsAbandonedAndTheOwnerCarriesOn) {
    // Static: the abandoned thread still touches it after the test body returns.
    static FiringLog log;
    {
        std::lock_guard lock(log.mutex);
        log.hold = true;
    }
    const auto start = Clock::now();
    {
        IntervalTimer timer(FiringLog::Fire, &log, 10, true);
        ASSERT_TRUE(log.WaitFor([&] { return log.inCallback; }));
    }
    const auto destroyTook = Clock::now() - start;
    EXPECT_GE(destroyTook, std::chrono::milliseconds(2900));
    EXPECT_LT(destroyTook, std::chrono::seconds(10));

    // The abandoned thread is still parked in the callback; the process is fine.
    {
        std::lock_guard lock(log.mutex);
        EXPECT_TRUE(log.inCallback);
        log.hold = false;
    }
    log.changed.notify_all();
    ASSERT_TRUE(log.WaitFor([&] { return log.callbackReturned; }));
    // Once released it ends without firing again.
    WaitForSentinelAfter(100);
    EXPECT_EQ(log.Firings(), 1);
}

} // namespace
