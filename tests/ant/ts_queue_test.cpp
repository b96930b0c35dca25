#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "ant/dsi_thread.h"
#include "ant/ts_queue.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST(TSQueuePopArray, TakesWhatIsQueuedWithoutWaiting) {
    TSQueue<char> queue;
    const char items[] = {'a', 'b', 'c'};
    queue.PushArray(items, 3);
    char out[10] = {};
    const auto start = Clock::now();
    EXPECT_EQ(queue.PopArray(out, 10, 5000), 3u);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(std::string(out, 3), "abc");
}

TEST(TSQueuePopArray, AWakeEndsTheNextWaitAtOnceWithNothing) {
    TSQueue<char> queue;
    queue.Wake(); // before the wait: still seen
    char out[4];
    // Without the wake the pop would sit out its whole 30 s: returning in half
    // that shows the wake ended it, however slow the machine.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(queue.PopArray(out, 4, 30000), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    queue.Push('a');
    EXPECT_EQ(queue.PopArray(out, 4, 30000), 1u);
}

TEST(TSQueuePopArray, TakesAtMostMaxCountOldestFirst) {
    TSQueue<char> queue;
    queue.Push('1');
    queue.Push('2');
    queue.Push('3');
    char out[2] = {};
    ASSERT_EQ(queue.PopArray(out, 2, 0), 2u);
    EXPECT_EQ(out[0], '1');
    EXPECT_EQ(out[1], '2');
    ASSERT_EQ(queue.PopArray(out, 2, 0), 1u);
    EXPECT_EQ(out[0], '3');
}

TEST(TSQueuePopArray, EmptyQueueTimesOutWithZero) {
    TSQueue<char> queue;
    char out[4];
    EXPECT_EQ(queue.PopArray(out, 4, 0), 0u);
    const auto start = Clock::now();
    EXPECT_EQ(queue.PopArray(out, 4, 100), 0u);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(90));
    EXPECT_LT(waited, std::chrono::seconds(5));
}

struct Pusher {
    TSQueue<char>* queue;
};

void* pushFive(void* raw) {
    const char items[] = {'v', 'w', 'x', 'y', 'z'};
    static_cast<Pusher*>(raw)->queue->PushArray(items, 5);
    return nullptr;
}

TEST(TSQueuePopArray, PushDuringTheWaitEndsItWithTheBatch) {
    TSQueue<char> queue;
    Pusher pusher{&queue};
    DSI_THREAD_ID thread = DSIThread_CreateThread(pushFive, &pusher);
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
