// The bridge's own serial executor: order, synchronous submission, timers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "bridge/bridge_work_queue.h"

namespace draftwell::test {
namespace {

using namespace std::chrono_literals;

TEST(BridgeWorkQueueTest, RunsTasksInOrderOnItsThreadAndSyncWaits) {
    BridgeWorkQueue queue("test.queue");
    std::vector<int> order; // touched only on the queue
    bool onQueue = true;
    for (int i = 0; i < 100; ++i) {
        queue.post([&, i] {
            order.push_back(i);
            onQueue = onQueue && queue.isCurrentThread();
        });
    }
    std::vector<int> seen;
    queue.performSync([&] {
        seen = order;
        // Nested synchronous submission runs inline instead of waiting on itself.
        queue.performSync([&] { seen.push_back(-1); });
    });
    ASSERT_EQ(seen.size(), 101U);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(seen[static_cast<std::size_t>(i)], i);
    }
    EXPECT_TRUE(onQueue);
    EXPECT_FALSE(queue.isCurrentThread());
}

TEST(BridgeWorkQueueTest, RepeatingTimerFiresAfterItsIntervalUntilCancelledFromWithin) {
    BridgeWorkQueue queue("test.queue");
    std::atomic<int> firings{0};
    const auto started = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration firstAfter{};
    BridgeWorkQueue::TimerId id = 0;
    queue.performSync([&] {
        id = queue.startRepeatingTimer(30ms, [&] {
            if (firings == 0) {
                firstAfter = std::chrono::steady_clock::now() - started;
            }
            if (++firings == 3) {
                queue.cancelTimer(id);
            }
        });
    });
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (firings < 3 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(1ms);
    }
    queue.performSync([] {});
    EXPECT_EQ(firings.load(), 3);
    queue.performSync([&] { EXPECT_GE(firstAfter, 30ms); });
}

} // namespace
} // namespace draftwell::test
