#include "laps/lap_packet.h"

#include <gtest/gtest.h>

#include <vector>

using namespace draftwell;

namespace {

std::unique_ptr<LapPacket> decode(std::vector<std::uint8_t> bytes) {
    return decodeLapPage(bytes);
}

template <class T> const T& as(const std::unique_ptr<LapPacket>& p) {
    auto* t = dynamic_cast<const T*>(p.get());
    EXPECT_NE(t, nullptr);
    static const T empty;
    return t ? *t : empty;
}

} // namespace

TEST(DecodeLapPage, WorkedExamples) {
    auto p0 = decode({0x05, 0x10, 0x0C, 0x10, 0x27, 0x40, 0xE2, 0x01});
    const auto& a = as<Packet0>(p0);
    EXPECT_EQ(a.lapNumber, 5);
    EXPECT_EQ(a.packetNo.rawValue(), 1);
    EXPECT_DOUBLE_EQ(a.cdA, 0.3088);
    EXPECT_DOUBLE_EQ(a.cal, 1.0);
    EXPECT_DOUBLE_EQ(a.lapTime, 123.456);

    auto p1 = decode({0x45, 0x88, 0x13, 0x84, 0x03, 0xE8, 0x03, 0x01});
    const auto& b = as<Packet1>(p1);
    EXPECT_EQ(b.lapNumber, 5);
    EXPECT_EQ(b.packetNo.rawValue(), 2);
    EXPECT_DOUBLE_EQ(b.dist, 500.0);
    EXPECT_DOUBLE_EQ(b.head, 90.0);
    EXPECT_DOUBLE_EQ(b.chest, 100.0);
    EXPECT_TRUE(b.valid);

    auto p2 = decode({0x85, 0xC4, 0x09, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    const auto& c = as<Packet2>(p2);
    EXPECT_EQ(c.lapNumber, 5);
    EXPECT_EQ(c.packetNo.rawValue(), 4);
    EXPECT_DOUBLE_EQ(c.riderPwr, 250.0);

    EXPECT_EQ(decode({0xC5, 0, 0, 0, 0, 0, 0, 0}), nullptr);
}

TEST(DecodeLapPage, PayloadLength) {
    EXPECT_EQ(decode({}), nullptr);
    EXPECT_EQ(decode({0x05, 0x10, 0x0C, 0x10, 0x27, 0x40, 0xE2}), nullptr);
    auto p = decode({0x05, 0x10, 0x0C, 0x10, 0x27, 0x40, 0xE2, 0x01, 0xAA});
    EXPECT_DOUBLE_EQ(as<Packet0>(p).lapTime, 123.456);
}

TEST(DecodeLapPage, ByteZeroBoundaries) {
    auto a = decode({0x3F, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(as<Packet0>(a).lapNumber, 63);
    auto b = decode({0x40, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(as<Packet1>(b).lapNumber, 0);
    auto c = decode({0x80, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(as<Packet2>(c).lapNumber, 0);
    EXPECT_EQ(decode({0xFF, 0, 0, 0, 0, 0, 0, 0}), nullptr);
}

TEST(DecodeLapPage, ValidFlagIsBitZeroOnly) {
    EXPECT_FALSE(as<Packet1>(decode({0x41, 0, 0, 0, 0, 0, 0, 0xFE})).valid);
    EXPECT_TRUE(as<Packet1>(decode({0x41, 0, 0, 0, 0, 0, 0, 0x01})).valid);
    EXPECT_TRUE(as<Packet1>(decode({0x41, 0, 0, 0, 0, 0, 0, 0xFF})).valid);
}

TEST(DecodeLapPage, RawMaximaStayPositive) {
    auto p0 = decode({0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_DOUBLE_EQ(as<Packet0>(p0).cdA, 6.5535);
    EXPECT_DOUBLE_EQ(as<Packet0>(p0).cal, 6.5535);
    EXPECT_DOUBLE_EQ(as<Packet0>(p0).lapTime, 16777.215);
    auto p1 = decode({0x40, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00});
    EXPECT_DOUBLE_EQ(as<Packet1>(p1).dist, 6553.5);
    EXPECT_DOUBLE_EQ(as<Packet1>(p1).head, 6553.5);
    EXPECT_DOUBLE_EQ(as<Packet1>(p1).chest, 6553.5);
    auto p2 = decode({0x80, 0xFF, 0xFF, 0x01, 0x02, 0x03, 0x04, 0x05});
    EXPECT_DOUBLE_EQ(as<Packet2>(p2).riderPwr, 6553.5);
}

TEST(LapDataPageState, SetOperations) {
    LapDataPageState s;
    EXPECT_TRUE(s.isEmpty());
    s.insert(LapDataPageState::page2);
    s.insert(LapDataPageState::page0);
    EXPECT_EQ(s.rawValue(), 5);
    EXPECT_TRUE(s.contains(LapDataPageState::page0));
    EXPECT_FALSE(s.contains(LapDataPageState::page1));
    EXPECT_TRUE(s.isSubset(LapDataPageState::all));
    EXPECT_FALSE(LapDataPageState::all.isSubset(s));
    EXPECT_TRUE(LapDataPageState::all.isSuperset(s));
    EXPECT_TRUE(s.isDisjoint(LapDataPageState::page1));
    EXPECT_EQ(s.unionWith(LapDataPageState::page1), LapDataPageState::all);
    EXPECT_EQ(s.intersection(LapDataPageState({LapDataPageState::page0, LapDataPageState::page1})),
              LapDataPageState::page0);
    s.remove(LapDataPageState::page0);
    EXPECT_EQ(s, LapDataPageState::page2);
    LapDataPageState built{LapDataPageState::page0, LapDataPageState::page1, LapDataPageState::page2};
    EXPECT_EQ(built.rawValue(), 7);
}
