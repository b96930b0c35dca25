#include <gtest/gtest.h>

#include "tests/sim/stick_harness.h"

namespace antsim::test {
namespace {

StickFrame response(std::uint8_t channel, std::uint8_t id, std::uint8_t code) {
    return StickFrame{0x40, {channel, id, code}};
}

struct Exchange {
    const char* name;
    std::vector<std::uint8_t> sent; // as the host library writes it
    std::vector<StickFrame> answers;
};

void PrintTo(const Exchange& e, std::ostream* os) {
    *os << e.name;
}

class VirtualStickAnswers : public ::testing::TestWithParam<Exchange> {};

// Each command on a fresh stick, and exactly the frames it answers with.
TEST_P(VirtualStickAnswers, FrameByFrame) {
    Scenario s;
    s.seed = 1;
    StickHarness h(s);
    h.sendRaw(GetParam().sent);
    const auto frames = h.waitForCount(GetParam().answers.size());
    ASSERT_EQ(frames.size(), GetParam().answers.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].frame, GetParam().answers[i]) << i;
        EXPECT_TRUE(frames[i].checksumOk);
    }
    // Nothing more follows: a status request is answered next, and alone.
    h.send(0x4D, {0x00, 0x52});
    const auto after = h.waitForCount(frames.size() + 1);
    ASSERT_EQ(after.size(), frames.size() + 1);
    EXPECT_EQ(after.back().frame.id, 0x52);
}

INSTANTIATE_TEST_SUITE_P(
    HostCommands, VirtualStickAnswers,
    ::testing::Values(
        Exchange{"Reset", {0xA4, 0x01, 0x4A, 0x00, 0xEF, 0x00, 0x00}, {StickFrame{0x6F, {0x20}}}},
        Exchange{"NetworkKey",
                 hostFrame(0x46, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}),
                 {response(0x00, 0x46, 0x00)}},
        Exchange{"ExtendedMessages",
                 {0xA4, 0x02, 0x66, 0x00, 0x01, 0xC1, 0x00, 0x00},
                 {response(0x00, 0x66, 0x00)}},
        Exchange{"AssignChannel",
                 {0xA4, 0x04, 0x42, 0x00, 0x00, 0x00, 0x01, 0xE3, 0x00, 0x00},
                 {response(0x00, 0x42, 0x00)}},
        Exchange{
            "RadioFrequency", {0xA4, 0x02, 0x45, 0x00, 0x43, 0xA0, 0x00, 0x00}, {response(0x00, 0x45, 0x00)}},
        Exchange{"ChannelId",
                 {0xA4, 0x05, 0x51, 0x00, 0x00, 0x00, 0x71, 0x05, 0x84, 0x00, 0x00},
                 {response(0x00, 0x51, 0x00)}},
        Exchange{"OpenRxScan", {0xA4, 0x01, 0x5B, 0x00, 0xFE, 0x00, 0x00}, {response(0x00, 0x5B, 0x00)}},
        Exchange{"UnassignChannel", {0xA4, 0x01, 0x41, 0x00, 0xE4, 0x00, 0x00}, {response(0x00, 0x41, 0x00)}},
        Exchange{"CloseChannel",
                 {0xA4, 0x01, 0x4C, 0x00, 0xE9, 0x00, 0x00},
                 {response(0x00, 0x4C, 0x00), StickFrame{0x40, {0x00, 0x01, 0x07}}}},
        Exchange{"ChannelStatus",
                 {0xA4, 0x02, 0x4D, 0x00, 0x52, 0xB9, 0x00, 0x00},
                 {StickFrame{0x52, {0x00, 0x00}}}},
        Exchange{"Capabilities",
                 hostFrame(0x4D, {0x00, 0x54}),
                 {StickFrame{0x54, {0x08, 0x08, 0x00, 0xBA, 0x36, 0x00, 0xDF, 0x00}}}},
        Exchange{"UnknownCommand", hostFrame(0x99, {0x03}), {response(0x03, 0x99, 0x28)}},
        Exchange{"NoiseAroundAFrame",
                 {0x00, 0x13, 0xFF, 0xA4, 0x02, 0x45, 0x00, 0x43, 0xA0, 0x00, 0x00},
                 {response(0x00, 0x45, 0x00)}},
        Exchange{
            "BadChecksumThenGoodFrame",
            {0xA4, 0x02, 0x45, 0x00, 0x43, 0xA1, 0x00, 0x00, 0xA4, 0x02, 0x66, 0x00, 0x01, 0xC1, 0x00, 0x00},
            {response(0x00, 0x66, 0x00)}}),
    [](const ::testing::TestParamInfo<Exchange>& p) { return std::string(p.param.name); });

TEST(VirtualStickProtocol, FramesSplitIntoSingleBytesAreReassembled) {
    StickHarness h(Scenario{});
    for (const auto b : hostFrame(0x45, {0x00, 67})) {
        h.sendRaw({b});
    }
    const auto frames = h.waitForCount(1);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].frame, response(0x00, 0x45, 0x00));
}

TEST(VirtualStickProtocol, ChannelStatusFollowsTheChannelState) {
    StickHarness h(Scenario{});
    h.send(0x42, {0x00, 0x00, 0x00, 0x01});
    h.send(0x4D, {0x00, 0x52});
    h.send(0x5B, {0x00});
    h.send(0x4D, {0x00, 0x52});
    h.send(0x4C, {0x00});
    h.send(0x4D, {0x00, 0x52});
    std::vector<int> states;
    ASSERT_TRUE(h.waitFor([&](const std::vector<ReceivedFrame>& fs) {
        states.clear();
        for (const auto& f : fs) {
            if (f.frame.id == 0x52) {
                states.push_back(f.frame.payload.at(1) & 0x03);
            }
        }
        return states.size() == 3;
    }));
    // Assigned; searching (no radio frequency set, so nothing to track); assigned again.
    EXPECT_EQ(states, (std::vector<int>{1, 2, 1}));
}

TEST(VirtualStickProtocol, TraceHasOneLinePerReceivedFrameOnlyWhenAsked) {
    Scenario s;
    s.trace = true;
    StickHarness h(s);
    h.sendRaw({0xA4, 0x02, 0x45, 0x00, 0x43, 0xA1}); // bad checksum
    h.send(0x51, {0x00, 0x00, 0x00, 0x71, 0x05});
    const auto lines = h.traceLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "bad frame: A4 02 45 00 43 A1");
    EXPECT_EQ(lines[1], "[51] Channel ID: 00 00 00 71 05");

    StickHarness quiet(Scenario{});
    quiet.send(0x4A, {0x00});
    quiet.waitForCount(1);
    EXPECT_TRUE(quiet.traceLines().empty());
}

} // namespace
} // namespace antsim::test
