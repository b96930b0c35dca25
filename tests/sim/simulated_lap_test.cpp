#include <gtest/gtest.h>

#include "sim/simulated_lap.h"

namespace antsim {
namespace {

TEST(SimulatedLapPages, EncodeTheKnownPayloadsByteForByte) {
    SimulatedLap lap;
    lap.lapNumber = 5;
    lap.cdA = 0.3088;
    lap.cal = 1.0;
    lap.lapTime = 123.456;
    lap.dist = 500.0;
    lap.head = 90.0;
    lap.chest = 100.0;
    lap.riderPwr = 250.0;
    lap.valid = true;
    EXPECT_EQ(lap.page(0), (LapPage{0x05, 0x10, 0x0C, 0x10, 0x27, 0x40, 0xE2, 0x01}));
    EXPECT_EQ(lap.page(1), (LapPage{0x45, 0x88, 0x13, 0x84, 0x03, 0xE8, 0x03, 0x01}));
    EXPECT_EQ(lap.page(2), (LapPage{0x85, 0xC4, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00}));
    lap.valid = false;
    lap.lapNumber = 63;
    EXPECT_EQ(lap.page(1)[0], 0x7F);
    EXPECT_EQ(lap.page(1)[7], 0x00);
}

TEST(SimulatedLapPages, OutOfRangeFiguresAreClampedNotWrapped) {
    SimulatedLap lap;
    lap.cdA = 7.0;       // beyond 6.5535
    lap.lapTime = 20000; // beyond 16777.215 s
    lap.dist = -5;
    const auto p0 = lap.page(0);
    EXPECT_EQ((LapPage{p0[1], p0[2], p0[5], p0[6], p0[7]}), (LapPage{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    const auto p1 = lap.page(1);
    EXPECT_EQ(p1[1] | p1[2], 0x00);
}

} // namespace
} // namespace antsim
