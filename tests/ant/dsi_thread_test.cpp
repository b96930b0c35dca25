#include <cstring>

#include <gtest/gtest.h>

#include "ant/dsi_thread.h"
#include "tests/support/eventually.h"

namespace {

TEST(DSIThreadCondition, DeadlineAcrossASecondBoundaryIsNormalised) {
    const timespec deadline = DSIThread_Deadline(100, 999999, 1);
    EXPECT_EQ(deadline.tv_sec, 101);
    EXPECT_EQ(deadline.tv_nsec, 999000);
    const timespec longer = DSIThread_Deadline(7, 500000, 2750);
    EXPECT_EQ(longer.tv_sec, 10);
    EXPECT_EQ(longer.tv_nsec, 250000000);
    EXPECT_LT(DSIThread_Deadline(0, 999999, 0xFFFFFFFEu).tv_nsec, 1000000000);
}

struct TryLockProbe {
    DSI_MUTEX* mutex;
    DSI_THREAD_RESULT result = DSI_THREAD_EOTHER;
};

void* tryLockElsewhere(void* raw) {
    auto* probe = static_cast<TryLockProbe*>(raw);
    probe->result = DSIThread_MutexTryLock(probe->mutex);
    if (probe->result == DSI_THREAD_ENONE) {
        DSIThread_MutexUnlock(probe->mutex);
    }
    return nullptr;
}

DSI_THREAD_RESULT tryLockOnAnotherThread(DSI_MUTEX* mutex) {
    TryLockProbe probe{mutex};
    DSI_THREAD_ID thread = DSIThread_CreateThread(tryLockElsewhere, &probe);
    EXPECT_NE(thread, nullptr);
    DSIThread_JoinThread(thread);
    return probe.result;
}

TEST(DSIThreadMutex, IsRecursiveAndBusyForOtherThreads) {
    DSI_MUTEX mutex;
    ASSERT_EQ(DSIThread_MutexInit(&mutex), DSI_THREAD_ENONE);
    ASSERT_EQ(DSIThread_MutexLock(&mutex), DSI_THREAD_ENONE);
    EXPECT_EQ(DSIThread_MutexTryLock(&mutex), DSI_THREAD_ENONE); // same thread again
    EXPECT_EQ(tryLockOnAnotherThread(&mutex), DSI_THREAD_EBUSY);
    DSIThread_MutexUnlock(&mutex);
    DSIThread_MutexUnlock(&mutex);
    EXPECT_EQ(tryLockOnAnotherThread(&mutex), DSI_THREAD_ENONE);
    DSIThread_MutexDestroy(&mutex);
}

void* recordOwnId(void* seen) {
    *static_cast<DSI_THREAD_ID*>(seen) = DSIThread_GetCurrentThreadId();
    return nullptr;
}

TEST(DSIThreadIdentity, ThreadsKnowTheirOwnHandle) {
    DSI_THREAD_ID seen = nullptr;
    DSI_THREAD_ID thread = DSIThread_CreateThread(recordOwnId, &seen);
    ASSERT_NE(thread, nullptr);
    // Compare before the handle is given up by the join.
    ASSERT_TRUE(draftwell::test::eventually([&] { return DSIThread_HasEnded(thread); }));
    EXPECT_TRUE(DSIThread_CompareThreads(seen, thread));
    EXPECT_FALSE(DSIThread_CompareThreads(DSIThread_GetCurrentThreadId(), thread));
    EXPECT_TRUE(DSIThread_CompareThreads(DSIThread_GetCurrentThreadId(), DSIThread_GetCurrentThreadId()));
    EXPECT_EQ(DSIThread_DestroyThread(thread), DSI_THREAD_ESRCH); // already ended
    EXPECT_EQ(DSIThread_JoinThread(thread), DSI_THREAD_ENONE);
    EXPECT_EQ(DSIThread_CreateThread(nullptr, nullptr), nullptr);
}

TEST(DSIThreadPlatform, SystemTimeAdvancesWithSleepAndWorkingDirectoryEndsWithSlash) {
    const std::uint32_t before = DSIThread_GetSystemTime();
    DSIThread_Sleep(50);
    EXPECT_GE(DSIThread_GetSystemTime() - before, 50u);

    char buffer[4096];
    ASSERT_TRUE(DSIThread_GetWorkingDirectory(buffer, sizeof buffer));
    const std::size_t length = std::strlen(buffer);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(buffer[length - 1], '/');
    char tiny[2];
    EXPECT_FALSE(DSIThread_GetWorkingDirectory(tiny, sizeof tiny));
    EXPECT_FALSE(DSIThread_GetWorkingDirectory(nullptr, 100));
}

} // namespace
