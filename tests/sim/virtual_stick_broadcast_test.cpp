#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "laps/lap_packet.h"
#include "tests/sim/stick_harness.h"

namespace antsim::test {
namespace {

using namespace std::chrono_literals;

Scenario broadcastScenario() {
    Scenario s;
    s.seed = 3;
    s.broadcastPeriod = 20ms;
    s.lapInterval = 10s;
    return s;
}

std::vector<ReceivedFrame> broadcasts(const std::vector<ReceivedFrame>& frames) {
    std::vector<ReceivedFrame> out;
    std::copy_if(frames.begin(), frames.end(), std::back_inserter(out),
                 [](const ReceivedFrame& f) { return f.frame.id == 0x4E; });
    return out;
}

std::vector<StickFrame> waitForBroadcasts(StickHarness& h, std::size_t n) {
    std::vector<StickFrame> out;
    h.waitFor([&](const std::vector<ReceivedFrame>& fs) {
        out.clear();
        for (const auto& b : broadcasts(fs)) {
            out.push_back(b.frame);
        }
        return out.size() >= n;
    });
    return out;
}

// Collects, per lap number, a value read from its pages, until pred says enough.
template <typename Pred>
void watchLaps(StickHarness& h, Pred enough, std::vector<int>& lapsInOrder, std::map<int, bool>& validity) {
    ASSERT_TRUE(h.waitFor([&](const std::vector<ReceivedFrame>& fs) {
        lapsInOrder.clear();
        for (const auto& b : broadcasts(fs)) {
            const auto& p = b.frame.payload;
            const int lap = p[1] & 0x3F;
            if (lapsInOrder.empty() || lapsInOrder.back() != lap) {
                lapsInOrder.push_back(lap);
            }
            if ((p[1] >> 6) == 1) {
                validity[lap] = (p[8] & 0x01) != 0;
            }
        }
        return enough();
    }));
}

TEST(VirtualStickBroadcast, ExtendedBroadcastsCarryADecodableLapAndTheTransmitterId) {
    Scenario s = broadcastScenario();
    s.firstDeviceNumber = 0x1234;
    StickHarness h(s);
    h.configure();
    const auto bs = waitForBroadcasts(h, 6);
    ASSERT_GE(bs.size(), 6u);
    std::set<int> pages;
    for (const auto& b : bs) {
        ASSERT_EQ(b.payload.size(), 14u);
        // Channel, 8 data bytes, flag, device number low first, device type, transmission type.
        EXPECT_EQ(b.payload[0], 0x00);
        EXPECT_EQ((std::vector<std::uint8_t>(b.payload.begin() + 9, b.payload.end())),
                  (std::vector<std::uint8_t>{0x80, 0x34, 0x12, 113, 5}));
        const auto packet = draftwell::decodeLapPage(std::span<const std::uint8_t>(b.payload).subspan(1, 8));
        ASSERT_NE(packet, nullptr);
        EXPECT_EQ(packet->lapNumber, 1);
        pages.insert(b.payload[1] >> 6);
        if (const auto* p0 = dynamic_cast<const draftwell::Packet0*>(packet.get())) {
            EXPECT_TRUE(p0->cdA >= 0.25 && p0->cdA <= 0.35) << p0->cdA;
            EXPECT_TRUE(p0->cal >= 0.95 && p0->cal <= 1.05) << p0->cal;
            EXPECT_GT(p0->lapTime, 30.0);
        } else if (const auto* p1 = dynamic_cast<const draftwell::Packet1*>(packet.get())) {
            EXPECT_TRUE(p1->valid);
            EXPECT_GT(p1->dist, 300.0);
            EXPECT_GT(p1->head, 0.0);
            EXPECT_GT(p1->chest, 0.0);
        } else if (const auto* p2 = dynamic_cast<const draftwell::Packet2*>(packet.get())) {
            EXPECT_TRUE(p2->riderPwr > 100.0 && p2->riderPwr < 500.0) << p2->riderPwr;
        }
    }
    EXPECT_EQ(pages, (std::set<int>{0, 1, 2}));
}

TEST(VirtualStickBroadcast, WithoutExtendedMessagesBroadcastsCarryOnlyChannelAndData) {
    StickHarness h(broadcastScenario());
    h.configure(false);
    const auto bs = waitForBroadcasts(h, 1);
    ASSERT_EQ(bs.size(), 1u);
    EXPECT_EQ(bs[0].payload.size(), 9u);
}

TEST(VirtualStickBroadcast, EachRoundHoldsAllThreePagesInVaryingOrder) {
    StickHarness h(broadcastScenario());
    h.configure();
    const auto bs = waitForBroadcasts(h, 30);
    ASSERT_GE(bs.size(), 30u);
    std::set<std::vector<int>> orders;
    for (std::size_t round = 0; round < 30; round += 3) {
        std::vector<int> order{bs[round].payload[1] >> 6, bs[round + 1].payload[1] >> 6,
                               bs[round + 2].payload[1] >> 6};
        EXPECT_EQ(std::set<int>(order.begin(), order.end()), (std::set<int>{0, 1, 2}));
        orders.insert(order);
    }
    EXPECT_GE(orders.size(), 2u);
}

TEST(VirtualStickBroadcast, LapNumbersCountUpAndWrapFrom63ToZero) {
    Scenario s = broadcastScenario();
    s.firstLap = 62;
    s.lapInterval = 300ms;
    StickHarness h(s);
    h.configure();
    std::vector<int> laps;
    std::map<int, bool> validity;
    watchLaps(
        h, [&] { return laps.size() >= 4; }, laps, validity);
    EXPECT_EQ(std::vector<int>(laps.begin(), laps.begin() + 4), (std::vector<int>{62, 63, 0, 1}));
}

TEST(VirtualStickBroadcast, EveryNthLapIsInvalid) {
    Scenario s = broadcastScenario();
    s.invalidEvery = 2;
    s.lapInterval = 300ms;
    StickHarness h(s);
    h.configure();
    std::vector<int> laps;
    std::map<int, bool> validity;
    watchLaps(
        h, [&] { return validity.size() >= 4; }, laps, validity);
    EXPECT_EQ(validity, (std::map<int, bool>{{1, true}, {2, false}, {3, true}, {4, false}}));
}

TEST(VirtualStickBroadcast, SeveralTransmittersAreEachHeardWithTheirOwnDeviceNumber) {
    Scenario s = broadcastScenario();
    s.transmitters = 3;
    s.firstDeviceNumber = 500;
    StickHarness h(s);
    h.configure();
    std::set<int> devices;
    ASSERT_TRUE(h.waitFor([&](const std::vector<ReceivedFrame>& fs) {
        for (const auto& b : broadcasts(fs)) {
            devices.insert(b.frame.payload[10] | (b.frame.payload[11] << 8));
        }
        return devices.size() >= 3;
    }));
    EXPECT_EQ(devices, (std::set<int>{500, 501, 502}));
}

TEST(VirtualStickBroadcast, SeveralGarminsRideTheirOwnLapsWithTheirPagesInterleaved) {
    Scenario s = broadcastScenario();
    s.transmitters = 2;
    s.firstDeviceNumber = 500;
    s.lapInterval = 100ms;
    s.lapIntervalStep = 100ms;
    s.firstLapStep = 20;
    StickHarness h(s);
    h.configure();
    std::vector<int> devices;
    std::map<int, std::set<int>> lapsOf;
    ASSERT_TRUE(h.waitFor([&](const std::vector<ReceivedFrame>& fs) {
        devices.clear();
        for (const auto& b : broadcasts(fs)) {
            const int device = b.frame.payload[10] | (b.frame.payload[11] << 8);
            devices.push_back(device);
            lapsOf[device].insert(b.frame.payload[1] & 0x3F);
        }
        return lapsOf[500].size() >= 6;
    }));
    for (std::size_t i = 0; i < devices.size(); ++i) {
        ASSERT_EQ(devices[i], i % 2 == 0 ? 500 : 501) << i;
    }
    EXPECT_EQ(*lapsOf[500].begin(), 1);
    EXPECT_EQ(*lapsOf[501].begin(), 21);
    // Twice the lap time: fewer laps.
    EXPECT_LT(lapsOf[501].size(), lapsOf[500].size());
}

// Broadcasts are due the moment scanning opens, so a filter that let them
// through would put one before the answer to the command that follows.
TEST(VirtualStickBroadcast, OnlyTheRightFrequencyAndChannelIdHearTheGarmins) {
    StickHarness h(broadcastScenario());
    h.send(0x66, {0x00, 0x01});
    h.send(0x42, {0x00, 0x00, 0x00, 0x01});
    h.send(0x51, {0x00, 0x00, 0x00, 120, 0}); // heart-rate monitors only
    h.send(0x5B, {0x00});                     // still on the default frequency
    ASSERT_EQ(h.waitForCount(4).size(), 4u);
    h.send(0x45, {0x00, 67});
    ASSERT_EQ(h.waitForCount(5).size(), 5u);
    h.send(0x51, {0x00, 0x00, 0x00, 113, 5});
    EXPECT_EQ(h.waitForId(0x4E), 6);
}

TEST(VirtualStickBroadcast, CloseStopsBroadcastsAndReopeningResumesThem) {
    StickHarness h(broadcastScenario());
    h.configure();
    ASSERT_GE(h.waitForId(0x4E), 0);
    h.send(0x4C, {0x00});
    h.send(0x4D, {0x00, 0x52});
    int closedEvent = -1;
    ASSERT_TRUE(h.waitFor([&](const std::vector<ReceivedFrame>& fs) {
        for (std::size_t i = 0; i < fs.size(); ++i) {
            if (fs[i].frame == StickFrame{0x40, {0x00, 0x01, 0x07}}) {
                closedEvent = static_cast<int>(i);
                return true;
            }
        }
        return false;
    }));
    const int status = h.waitForId(0x52, static_cast<std::size_t>(closedEvent));
    ASSERT_EQ(status, closedEvent + 1);
    h.send(0x5B, {0x00});
    EXPECT_GE(h.waitForId(0x4E, static_cast<std::size_t>(status)), 0);
}

TEST(VirtualStickBroadcast, SilenceInterruptsBroadcastsForItsDuration) {
    Scenario s = broadcastScenario();
    s.silence = true;
    s.silenceAfter = 200ms;
    s.silenceFor = 600ms;
    StickHarness h(s);
    h.configure();
    // Broadcasts resume after a gap of about the silence.
    EXPECT_TRUE(h.waitFor([&](const std::vector<ReceivedFrame>& fs) {
        const auto bs = broadcasts(fs);
        for (std::size_t i = 1; i < bs.size(); ++i) {
            if (bs[i].at - bs[i - 1].at >= 500ms) {
                return true;
            }
        }
        return false;
    }));
}

} // namespace
} // namespace antsim::test
