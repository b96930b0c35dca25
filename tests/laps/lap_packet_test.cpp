#include "laps/lap_data.h"
#include "laps/lap_packet.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <vector>

using namespace draftwell;

// Page bytes -> the decoded page: its kind (-1 for none), lap number and figures
// (page 0: CdA, cal, time; page 1: distance, head, chest, valid; page 2: power).
TEST(DecodeLapPage, WorkedExamplesBoundariesAndLengths) {
    const struct {
        std::vector<std::uint8_t> bytes;
        int kind;
        int lap;
        std::vector<double> figures;
    } cases[] = {
        {{0x05, 0x10, 0x0C, 0x10, 0x27, 0x40, 0xE2, 0x01}, 0, 5, {0.3088, 1.0, 123.456}},
        {{0x45, 0x88, 0x13, 0x84, 0x03, 0xE8, 0x03, 0x01}, 1, 5, {500.0, 90.0, 100.0, 1}},
        {{0x85, 0xC4, 0x09, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 2, 5, {250.0}},
        {{0xC5, 0, 0, 0, 0, 0, 0, 0}, -1, 0, {}},
        {{0xFF, 0, 0, 0, 0, 0, 0, 0}, -1, 0, {}},
        {{}, -1, 0, {}},
        {{0x05, 0x10, 0x0C, 0x10, 0x27, 0x40, 0xE2}, -1, 0, {}},
        {{0x05, 0x10, 0x0C, 0x10, 0x27, 0x40, 0xE2, 0x01, 0xAA}, 0, 5, {0.3088, 1.0, 123.456}},
        {{0x3F, 0, 0, 0, 0, 0, 0, 0}, 0, 63, {0, 0, 0}},
        {{0x40, 0, 0, 0, 0, 0, 0, 0}, 1, 0, {0, 0, 0, 0}},
        {{0x80, 0, 0, 0, 0, 0, 0, 0}, 2, 0, {0}},
        // The valid flag is bit 0 only.
        {{0x41, 0, 0, 0, 0, 0, 0, 0xFE}, 1, 1, {0, 0, 0, 0}},
        {{0x41, 0, 0, 0, 0, 0, 0, 0xFF}, 1, 1, {0, 0, 0, 1}},
        // Raw maxima stay positive.
        {{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0, 0, {6.5535, 6.5535, 16777.215}},
        {{0x40, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, 1, 0, {6553.5, 6553.5, 6553.5, 0}},
        {{0x80, 0xFF, 0xFF, 0x01, 0x02, 0x03, 0x04, 0x05}, 2, 0, {6553.5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        const auto page = decodeLapPage(c.bytes);
        std::vector<double> figures;
        int kind = -1;
        if (const auto* a = dynamic_cast<const Packet0*>(page.get())) {
            kind = 0;
            figures = {a->cdA, a->cal, a->lapTime};
        } else if (const auto* b = dynamic_cast<const Packet1*>(page.get())) {
            kind = 1;
            figures = {b->dist, b->head, b->chest, b->valid ? 1.0 : 0.0};
        } else if (const auto* c2 = dynamic_cast<const Packet2*>(page.get())) {
            kind = 2;
            figures = {c2->riderPwr};
        }
        ASSERT_EQ(kind, c.kind);
        ASSERT_EQ(page == nullptr, kind < 0);
        if (page) {
            EXPECT_EQ(static_cast<int>(page->lapNumber), c.lap);
            EXPECT_EQ(page->packetNo.rawValue(), 1 << kind);
        }
        ASSERT_EQ(figures.size(), c.figures.size());
        for (std::size_t i = 0; i < figures.size(); ++i) {
            EXPECT_DOUBLE_EQ(figures[i], c.figures[i]) << i;
        }
    }
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
    EXPECT_EQ(LapDataPageState({LapDataPageState::page0, LapDataPageState::page1, LapDataPageState::page2})
                  .rawValue(),
              7);
}

TEST(LapData, DefaultsAndARandomIdentityEach) {
    const LapData a;
    EXPECT_FALSE(a.use || a.added || a.valid);
    EXPECT_EQ(a.lap, 0);
    EXPECT_TRUE(a.pageState.isEmpty());
    const std::regex v4("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
    std::set<std::string> ids;
    for (int i = 0; i < 1000; ++i) {
        const LapData l;
        EXPECT_TRUE(std::regex_match(l.id, v4)) << l.id;
        ids.insert(l.id);
    }
    EXPECT_EQ(ids.size(), 1000u);
}
