// The hand-over of received events from the library's message thread to the
// work queue, and its race with a close that waits for the message thread.
#include <gtest/gtest.h>

#include <QTest>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "bridge/active_bridge.h"
#include "bridge/ant_scanner_bridge.h"
#include "bridge/bridge_work_queue.h"
#include "bridge/receive_hand_over.h"
#include "tests/bridge/bridge_event_recorder.h"
#include "tests/bridge/traced_sim_stick.h"
#include "tests/support/eventually.h"

namespace draftwell::test {
namespace {

using namespace std::chrono_literals;

class ReceiveHandOverTest : public ::testing::Test {
  protected:
    BridgeWorkQueue queue{"test.queue"};
    std::atomic<int> posted{0};
    ReceiveHandOver handOver{[this](std::function<void()> task) {
        ++posted;
        queue.post(std::move(task));
    }};
};

TEST_F(ReceiveHandOverTest, StepsRunOnTheQueueWhileOpenAndTheCallerWaitsForThem) {
    bool ran = false;
    handOver.handOver([&] { ran = true; }); // not yet open
    queue.performSync([&] { handOver.open(); });
    bool ranOnQueue = false;
    handOver.handOver([&] { ranOnQueue = queue.isCurrentThread(); });
    EXPECT_TRUE(ranOnQueue);
    queue.performSync([&] { handOver.close(); });
    handOver.handOver([&] { ran = true; });
    queue.performSync([] {});
    EXPECT_FALSE(ran);
}

TEST_F(ReceiveHandOverTest, CloseReleasesAWaitingHandOverAndItsStepNeverRunsInTheNextSession) {
    queue.performSync([&] { handOver.open(); });
    std::promise<void> unblock;
    std::shared_future<void> unblocked = unblock.get_future().share();
    queue.post([unblocked] { unblocked.wait(); });
    queue.post([&] { handOver.close(); });
    queue.post([&] { handOver.open(); });

    std::atomic<bool> ran{false};
    std::atomic<bool> returned{false};
    std::thread messageThread([&] {
        handOver.handOver([&] { ran = true; });
        returned = true;
    });
    // Its step is queued behind the close and the next open.
    EXPECT_TRUE(eventually([&] { return posted.load() == 1; }));
    unblock.set_value();
    EXPECT_TRUE(eventually([&] { return returned.load(); }));
    messageThread.join();
    queue.performSync([] {});
    EXPECT_FALSE(ran.load());
}

TEST_F(ReceiveHandOverTest, CloseThatWaitsForTheMessageThreadNeverDeadlocks) {
    for (int round = 0; round < 200; ++round) {
        queue.performSync([&] { handOver.open(); });
        std::atomic<bool> run{true};
        std::atomic<int> steps{0};
        std::promise<void> ended;
        std::future<void> endedFuture = ended.get_future();
        std::thread messageThread([&] {
            while (run) {
                handOver.handOver([&] { ++steps; });
            }
            ended.set_value();
        });
        const bool stepped = eventually([&] { return steps.load() > round % 5; });

        // As the close sequence does: stop the message thread and wait for it from the queue.
        bool endedInTime = false;
        queue.performSync([&] {
            handOver.close();
            run = false;
            endedInTime = endedFuture.wait_for(10s) == std::future_status::ready;
        });
        messageThread.join();
        ASSERT_TRUE(stepped) << "round " << round;
        ASSERT_TRUE(endedInTime) << "round " << round;
    }
}

TEST(BridgeCloseRaceTest, BroadcastsArrivingWhileClosingNeverDeadlock) {
    antsim::Scenario flood;
    flood.broadcastPeriod = 5ms;
    flood.transmitters = 2;
    auto stick = std::make_unique<TracedSimStick>(std::vector{flood});
    auto bridge = std::make_unique<ANTScannerBridge>();
    BridgeEventRecorder recorder;
    recorder.attach(*bridge);
    using Kind = BridgeEvent::Kind;
    for (int round = 1; round <= 5; ++round) {
        bridge->openScannerWithCompletion(recorder.openCompletion());
        ASSERT_TRUE(recorder.waitFor([&] { return recorder.count(ofKind(Kind::packet)) >= round * 20; }));
        bridge->closeScannerWithCompletion(recorder.closeCompletion());
        ASSERT_TRUE(recorder.waitFor([&] { return recorder.count(ofKind(Kind::closeCompleted)) == round; }))
            << "round " << round;
        EXPECT_FALSE(bridge->isOpen());
    }
    // Destroyed while broadcasts pour in: the destructor's close must end too.
    bridge->openScannerWithCompletion(recorder.openCompletion());
    ASSERT_TRUE(recorder.waitFor([&] { return recorder.count(ofKind(Kind::openCompleted)) == 6; }));
    bridge.reset();
    bool reached = false;
    ActiveBridge::with([&](ANTScannerBridge&) { reached = true; });
    EXPECT_FALSE(reached);
    stick.reset();
}

} // namespace
} // namespace draftwell::test
