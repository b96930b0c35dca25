#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "ant/dsi_thread.h"
#include "ant/ts_queue.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST(TSQueuePopArray, TakesAtMostMaxCountOldestFirstAndWaitsOnlyWhenEmpty) {
    TSQueue<char> queue;
    queue.PushArray("abc", 3);
    queue.Push('d');
    char out[10] = {};
    auto start = Clock::now();
    ASSERT_EQ(queue.PopArray(out, 3, 5000), 3u);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(std::string(out, 3), "abc");
    ASSERT_EQ(queue.PopArray(out, 3, 5000), 1u);
    EXPECT_EQ(out[0], 'd');

    EXPECT_EQ(queue.PopArray(out, 4, 0), 0u);
    start = Clock::now();
    EXPECT_EQ(queue.PopArray(out, 4, 100), 0u);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(90));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST(TSQueuePopArray, AWakeEndsTheNextWaitAtOnceWithNothing) {
    TSQueue<char> queue;
    queue.Wake(); // before the wait: still seen
    char out[4];
    // Without the wake the pop would sit out its whole 30 s: returning in half
    // that shows the wake ended it, however slow the machine.
    const auto started = Clock::now();
    EXPECT_EQ(queue.PopArray(out, 4, 30000), 0u);
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(15));
    queue.Push('a');
    EXPECT_EQ(queue.PopArray(out, 4, 30000), 1u);
}

void* pushFive(void* queue) {
    static_cast<TSQueue<char>*>(queue)->PushArray("vwxyz", 5);
    return nullptr;
}

TEST(TSQueuePopArray, PushDuringTheWaitEndsItWithTheBatch) {
    TSQueue<char> queue;
    DSI_THREAD_ID thread = DSIThread_CreateThread(pushFive, &queue);
    ASSERT_NE(thread, nullptr);
    char out[3] = {};
    std::uint32_t taken = 0;
    // Whether the push lands before or during the wait, the first non-empty pop takes min(5, 3).
    for (int i = 0; i < 50 && taken == 0; ++i) {
        taken = queue.PopArray(out, 3, 200);
    }
    EXPECT_EQ(taken, 3u);
    EXPECT_EQ(std::string(out, 3), "vwx");
    DSIThread_JoinThread(thread);
    EXPECT_EQ(queue.PopArray(out, 3, 0), 2u);
}

} // namespace
