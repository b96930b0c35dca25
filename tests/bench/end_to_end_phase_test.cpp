#include <gtest/gtest.h>

#include <QStandardPaths>

#include <chrono>

#include "bench/end_to_end_phase.h"
#include "bench/library_latency_phase.h"

namespace {

using draftwell::bench::EndToEndPlan;
using draftwell::bench::EndToEndResult;

EndToEndPlan plan(int broadcastsPerSecond) {
    EndToEndPlan p;
    p.name = "test";
    p.scenario.seed = 7;
    if (broadcastsPerSecond == 0) {
        p.scenario.silence = true;
        p.scenario.silenceAfter = std::chrono::milliseconds(0);
        p.broadcasts = false;
    } else {
        p.scenario.broadcastPeriod = std::chrono::milliseconds(1000 / broadcastsPerSecond);
    }
    p.window = std::chrono::milliseconds(1500);
    return p;
}

// Every latency belongs to one broadcast that was really sent in the window.
void expectConsistent(const EndToEndResult& r) {
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.lost, 0);
    EXPECT_EQ(r.latenciesMs.size(), r.sentAtSeconds.size());
    EXPECT_LE(static_cast<std::int64_t>(r.latenciesMs.size()), r.sent);
    // Broadcasts in flight at either edge of the window may go unmatched.
    EXPECT_GE(static_cast<std::int64_t>(r.latenciesMs.size()), r.sent - 3);
    for (std::size_t i = 0; i < r.latenciesMs.size(); ++i) {
        EXPECT_GT(r.latenciesMs[i], 0.0);
        EXPECT_LT(r.latenciesMs[i], 1000.0);
        EXPECT_GE(r.sentAtSeconds[i], -0.5);
        EXPECT_LE(r.sentAtSeconds[i], r.wallSeconds);
    }
    EXPECT_GE(r.wallSeconds, 1.4);
    EXPECT_GE(r.processCpuSeconds, r.stickCpuSeconds);
}

class EndToEndPhase : public ::testing::Test {
  protected:
    // The service's settings must not touch the user's own.
    void SetUp() override { QStandardPaths::setTestModeEnabled(true); }
};

TEST_F(EndToEndPhase, TracesEveryBroadcastThroughBridgeAndService) {
    const EndToEndResult r = draftwell::bench::runEndToEnd(plan(40));
    expectConsistent(r);
    EXPECT_GE(r.sent, 50); // 40 a second for 1.5 s
    // Only a page already on its way when the window opened has no sending time.
    EXPECT_LE(r.published - static_cast<std::int64_t>(r.latenciesMs.size()), 1);
    EXPECT_GE(r.published, static_cast<std::int64_t>(r.latenciesMs.size()));
}

TEST_F(EndToEndPhase, IdleScannerSeesNoBroadcasts) {
    const EndToEndResult r = draftwell::bench::runEndToEnd(plan(0));
    expectConsistent(r);
    EXPECT_EQ(r.sent, 0);
    EXPECT_EQ(r.published, 0);
    EXPECT_TRUE(r.latenciesMs.empty());
}

TEST_F(EndToEndPhase, LibraryCutTracesEveryBroadcastToTheChannelCallback) {
    const EndToEndResult r = draftwell::bench::runLibraryLatency(plan(40));
    expectConsistent(r);
    EXPECT_GE(r.sent, 50);
}

} // namespace
