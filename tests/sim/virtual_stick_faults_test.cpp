#include <gtest/gtest.h>

#include "tests/sim/stick_harness.h"

namespace antsim::test {
namespace {

using namespace std::chrono_literals;

StickFrame response(std::uint8_t channel, std::uint8_t id, std::uint8_t code) {
    return StickFrame{0x40, {channel, id, code}};
}

std::vector<StickFrame> contents(const std::vector<ReceivedFrame>& frames) {
    std::vector<StickFrame> out;
    for (const auto& f : frames) {
        out.push_back(f.frame);
    }
    return out;
}

// Answers come in order, so a missing answer shows as the next command's answer in its place.
TEST(VirtualStickFaults, UnansweredAndRefusedCommandsTakeNoEffect) {
    Scenario s;
    s.unanswered.ids = {0x46};
    s.refused.ids = {0x5B, 0x4C};
    s.refuseCode = 0x15;
    StickHarness h(s);
    h.send(0x46, {0x00, 1, 2, 3, 4, 5, 6, 7, 8});
    h.send(0x42, {0x00, 0x00, 0x00, 0x01});
    h.send(0x5B, {0x00});
    h.send(0x4C, {0x00}); // refused close: no closed event either
    h.send(0x4D, {0x00, 0x52});
    EXPECT_EQ(contents(h.waitForCount(4)),
              (std::vector<StickFrame>{response(0x00, 0x42, 0x00), response(0x00, 0x5B, 0x15),
                                       response(0x00, 0x4C, 0x15), StickFrame{0x52, {0x00, 0x01}}}));
}

TEST(VirtualStickFaults, FaultCountLimitsFaultsToTheFirstMatchingCommands) {
    Scenario s;
    s.unanswered.all = true;
    s.faultCount = 2;
    StickHarness h(s);
    h.send(0x4A, {0x00}); // even the reset goes unanswered
    h.send(0x45, {0x00, 67});
    h.send(0x45, {0x00, 67});
    EXPECT_EQ(contents(h.waitForCount(1)), (std::vector<StickFrame>{response(0x00, 0x45, 0x00)}));
}

TEST(VirtualStickFaults, SlowCommandIsAnsweredLateAndOvertakenByFastOnes) {
    Scenario s;
    s.slow.ids = {0x45};
    s.slowDelay = 700ms;
    StickHarness h(s);
    const auto sent = std::chrono::steady_clock::now();
    h.send(0x45, {0x00, 67});
    h.send(0x66, {0x00, 0x01});
    const auto frames = h.waitForCount(2);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(contents(frames),
              (std::vector<StickFrame>{response(0x00, 0x66, 0x00), response(0x00, 0x45, 0x00)}));
    EXPECT_GE(frames[1].at - sent, 700ms);
}

TEST(VirtualStickFaults, EveryNthSentFrameHasABadChecksumButIntactContent) {
    Scenario s;
    s.badChecksumEvery = 2;
    StickHarness h(s);
    h.send(0x4A, {0x00});
    h.send(0x46, {0x00, 1, 2, 3, 4, 5, 6, 7, 8});
    h.send(0x66, {0x00, 0x01});
    h.send(0x42, {0x00, 0x00, 0x00, 0x01});
    const auto frames = h.waitForCount(4);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ((std::vector<bool>{frames[0].checksumOk, frames[1].checksumOk, frames[2].checksumOk,
                                 frames[3].checksumOk}),
              (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(frames[3].frame, response(0x00, 0x42, 0x00));
}

TEST(VirtualStickFaults, UnpluggedStickReportsOnceDropsPendingAnswersAndIgnoresTheHost) {
    Scenario s;
    s.slow.all = true;
    s.slowDelay = 5000ms;
    s.unplug = true;
    s.unplugAfter = 200ms;
    StickHarness h(s);
    h.send(0x4A, {0x00}); // its answer would come after the unplug
    ASSERT_TRUE(h.unpluggedReported());
    EXPECT_TRUE(h.stick().isUnplugged());
    h.send(0x4D, {0x00, 0x52});
    // The stick's thread sends nothing once unplugged, so nothing can still come.
    EXPECT_TRUE(h.frames().empty());
}

} // namespace
} // namespace antsim::test
