#include "laps/lap_assembly_engine.h"

#include <gtest/gtest.h>

#include <clocale>
#include <vector>

using namespace draftwell;

namespace {

const std::vector<std::uint8_t> kLap5Page0{0x05, 0x10, 0x0C, 0x10, 0x27, 0x40, 0xE2, 0x01};
const std::vector<std::uint8_t> kLap5Page1{0x45, 0x88, 0x13, 0x84, 0x03, 0xE8, 0x03, 0x01};
const std::vector<std::uint8_t> kLap5Page2{0x85, 0xC4, 0x09, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

std::vector<std::uint8_t> page0(int lap, std::uint16_t cdA, std::uint16_t cal, std::uint32_t ms) {
    return {static_cast<std::uint8_t>(lap),      static_cast<std::uint8_t>(cdA),
            static_cast<std::uint8_t>(cdA >> 8), static_cast<std::uint8_t>(cal),
            static_cast<std::uint8_t>(cal >> 8), static_cast<std::uint8_t>(ms),
            static_cast<std::uint8_t>(ms >> 8),  static_cast<std::uint8_t>(ms >> 16)};
}
std::vector<std::uint8_t> page1(int lap, std::uint16_t dist, bool valid) {
    return {static_cast<std::uint8_t>(0x40 | lap),
            static_cast<std::uint8_t>(dist),
            static_cast<std::uint8_t>(dist >> 8),
            0,
            0,
            0,
            0,
            static_cast<std::uint8_t>(valid ? 1 : 0)};
}
std::vector<std::uint8_t> page2(int lap, std::uint16_t pwr) {
    return {static_cast<std::uint8_t>(0x80 | lap),
            static_cast<std::uint8_t>(pwr),
            static_cast<std::uint8_t>(pwr >> 8),
            0,
            0,
            0,
            0,
            0};
}

LapAssemblyUpdate feed(LapAssemblyEngine& e, const std::vector<std::uint8_t>& bytes) {
    auto page = decodeLapPage(bytes);
    EXPECT_NE(page, nullptr);
    return e.process(*page);
}

void completeLap(LapAssemblyEngine& e, int lap) {
    feed(e, page0(lap, 3000, 10000, 60000));
    feed(e, page1(lap, 1000, true));
    feed(e, page2(lap, 2500));
}

const char* kLap5Message =
    "Lap 5 complete CdA 0.3088 Cal 1.0000 Time 123.456s Dist 500.0 Speed 14.6 RiderPwr 250.0 "
    "Head 90.0 Chest 100.0";

} // namespace

TEST(LapAssemblyEngine, InitialUpdate) {
    LapAssemblyEngine e;
    EXPECT_EQ(e.makeUpdate(), (LapAssemblyUpdate{"-", "0/3", "Invalid", false, 0, std::nullopt}));
    EXPECT_TRUE(e.completedLaps().empty());
}

TEST(LapAssemblyEngine, Lap5InAnyOrderWithRepeats) {
    LapAssemblyEngine e;
    auto u1 = feed(e, kLap5Page2);
    auto u2 = feed(e, kLap5Page2);
    auto u3 = feed(e, kLap5Page0);
    auto u4 = feed(e, kLap5Page1);
    EXPECT_EQ(u1.progressText, "1/3");
    EXPECT_EQ(u2.progressText, "1/3");
    EXPECT_EQ(u3.progressText, "2/3");
    EXPECT_EQ(u4.progressText, "3/3");
    EXPECT_EQ(u1.lapNumberText, "5");
    EXPECT_FALSE(u3.lapComplete);
    EXPECT_FALSE(u3.lapMessage.has_value());
    EXPECT_EQ(u3.statusText, "Invalid");

    EXPECT_TRUE(u4.lapComplete);
    EXPECT_EQ(u4.statusText, "Valid");
    EXPECT_EQ(u4.completedCount, 1);
    ASSERT_TRUE(u4.lapMessage.has_value());
    EXPECT_EQ(*u4.lapMessage, kLap5Message);

    ASSERT_EQ(e.completedLaps().size(), 1u);
    const LapData& lap = *e.completedLaps()[0];
    EXPECT_TRUE(lap.use);
    EXPECT_TRUE(lap.added);
    EXPECT_NEAR(lap.speed.value_or(0), 500.0 / 123.456 * 3.6, 1e-12);
}

TEST(LapAssemblyEngine, FirstCopyOfAPageWins) {
    LapAssemblyEngine e;
    feed(e, page0(9, 3000, 10000, 60000));
    auto again = feed(e, page0(9, 1234, 9000, 1000));
    EXPECT_EQ(again.progressText, "1/3");
    EXPECT_DOUBLE_EQ(e.currentLapData()->cdA, 0.3);
    feed(e, page1(9, 1000, true));
    feed(e, page1(9, 2000, false));
    EXPECT_TRUE(e.currentLapData()->valid);
    EXPECT_DOUBLE_EQ(e.currentLapData()->dist, 100.0);
}

TEST(LapAssemblyEngine, CompletedLapIgnoresRepeatsSilently) {
    LapAssemblyEngine e;
    completeLap(e, 7);
    auto before = e.makeUpdate();
    auto u = feed(e, page0(7, 1, 1, 1));
    EXPECT_EQ(u, before);
    EXPECT_FALSE(u.lapMessage.has_value());
    EXPECT_EQ(e.completedLaps().size(), 1u);
}

TEST(LapAssemblyEngine, NewLapNumberDiscardsIncompleteLap) {
    LapAssemblyEngine e;
    feed(e, page0(3, 3000, 10000, 60000));
    feed(e, page2(3, 2500));
    auto u = feed(e, page1(4, 1000, true));
    EXPECT_EQ(u.progressText, "1/3");
    EXPECT_EQ(u.lapNumberText, "4");
    EXPECT_EQ(e.currentLapData()->lap, 4);
    EXPECT_DOUBLE_EQ(e.currentLapData()->cdA, 0.0);
    EXPECT_TRUE(e.completedLaps().empty());
}

TEST(LapAssemblyEngine, InvalidLapNeverCompletes) {
    LapAssemblyEngine e;
    feed(e, page0(3, 3000, 10000, 60000));
    feed(e, page2(3, 2500));
    auto u = feed(e, page1(3, 1000, false));
    EXPECT_EQ(u.progressText, "3/3");
    EXPECT_EQ(u.statusText, "Invalid");
    EXPECT_FALSE(u.lapComplete);
    EXPECT_EQ(u.completedCount, 0);
    feed(e, page1(3, 1000, true)); // a later valid copy is a repeat
    EXPECT_TRUE(e.completedLaps().empty());
    auto next = feed(e, page0(4, 3000, 10000, 60000));
    EXPECT_EQ(next.progressText, "1/3");
    EXPECT_TRUE(e.completedLaps().empty());
}

TEST(LapAssemblyEngine, BlankLapZeroAndTheDataPageThatReplacesIt) {
    LapAssemblyEngine e;
    feed(e, page0(0, 0, 0, 0));
    feed(e, page1(0, 0, false));
    auto blank = feed(e, page2(0, 0));
    EXPECT_EQ(blank, (LapAssemblyUpdate{"-", "3/3", "Invalid", false, 0, std::nullopt}));
    EXPECT_TRUE(LapAssemblyEngine::isBlankLap(*e.currentLapData()));

    auto still = feed(e, page1(0, 0, false));
    EXPECT_EQ(still, blank);

    auto fresh = feed(e, page0(0, 2900, 10000, 60000));
    EXPECT_EQ(fresh.progressText, "1/3");
    EXPECT_EQ(fresh.lapNumberText, "0");
    EXPECT_TRUE(e.currentLapData()->use);
    feed(e, page1(0, 1000, true));
    auto done = feed(e, page2(0, 2000));
    EXPECT_TRUE(done.lapComplete);
    EXPECT_EQ(done.completedCount, 1);
}

TEST(LapAssemblyEngine, FirstLapZeroAfterStartUpCompletesWithUseFalse) {
    LapAssemblyEngine e;
    auto first = feed(e, page0(0, 3000, 10000, 60000));
    EXPECT_EQ(first.progressText, "1/3");
    feed(e, page1(0, 1000, true));
    feed(e, page2(0, 2500));
    ASSERT_EQ(e.completedLaps().size(), 1u);
    EXPECT_FALSE(e.completedLaps()[0]->use);
    completeLap(e, 1);
    ASSERT_EQ(e.completedLaps().size(), 2u);
    EXPECT_TRUE(e.completedLaps()[0]->use);
    EXPECT_EQ(e.completedLaps()[0]->lap, 1);
}

TEST(LapAssemblyEngine, LapNumbersWrapFrom63ToZero) {
    LapAssemblyEngine e;
    completeLap(e, 63);
    auto u = feed(e, page0(0, 3000, 10000, 60000));
    EXPECT_EQ(u.lapNumberText, "0");
    EXPECT_EQ(u.progressText, "1/3");
    feed(e, page1(0, 1000, true));
    feed(e, page2(0, 2500));
    ASSERT_EQ(e.completedLaps().size(), 2u);
    EXPECT_EQ(e.completedLaps()[0]->lap, 0);
    EXPECT_EQ(e.completedLaps()[1]->lap, 63);
}

TEST(LapAssemblyEngine, ZeroLapTimeGivesNoSpeed) {
    for (const std::uint16_t dist : {1000, 0}) {
        LapAssemblyEngine e;
        feed(e, page0(2, 3000, 10000, 0));
        feed(e, page1(2, dist, true));
        auto u = feed(e, page2(2, 2500));
        ASSERT_TRUE(u.lapMessage.has_value()) << dist;
        EXPECT_NE(u.lapMessage->find(" Speed – RiderPwr"), std::string::npos) << *u.lapMessage;
        EXPECT_FALSE(e.completedLaps().at(0)->speed.has_value());
    }
}

TEST(LapAssemblyEngine, LateRepeatsOfALoggedLapAreAbsorbed) {
    struct Case {
        const char* name;
        std::vector<std::vector<std::uint8_t>> lap1Again; // after lap 2's first page
        std::size_t laps;                                 // completed in the end
    };
    const std::vector<Case> cases{
        {"same figures", {page0(1, 3000, 10000, 60000), page1(1, 1000, true), page2(1, 2500)}, 2},
        // A Garmin that started a new activity numbers its laps from 1 again.
        {"new activity", {page0(1, 3100, 10000, 61000), page1(1, 1200, true), page2(1, 2600)}, 3},
    };
    for (const Case& c : cases) {
        LapAssemblyEngine e;
        completeLap(e, 1);
        feed(e, page0(2, 3000, 10000, 60000));
        for (const auto& page : c.lap1Again) {
            feed(e, page);
        }
        feed(e, page0(2, 3000, 10000, 60000));
        feed(e, page1(2, 1000, true));
        feed(e, page2(2, 2500));
        EXPECT_EQ(e.completedLaps().size(), c.laps) << c.name;
        EXPECT_EQ(e.completedLaps().front()->lap, 2) << c.name;
    }
}

TEST(LapAssemblyEngine, LapMessageIgnoresDecimalCommaLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "scripts/install-deps generates de_DE.UTF-8";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5"); // the locale is really in force
    LapAssemblyEngine e;
    feed(e, kLap5Page0);
    feed(e, kLap5Page1);
    auto u = feed(e, kLap5Page2);
    std::setlocale(LC_ALL, previous.c_str());
    ASSERT_TRUE(u.lapMessage.has_value());
    EXPECT_EQ(*u.lapMessage, kLap5Message);
}

TEST(LapAssemblyEngine, ClearCompletedLapsKeepsCurrentLap) {
    LapAssemblyEngine e;
    completeLap(e, 1);
    completeLap(e, 2);
    auto current = e.currentLapData();
    e.clearCompletedLaps();
    EXPECT_TRUE(e.completedLaps().empty());
    EXPECT_EQ(e.currentLapData(), current);
    EXPECT_EQ(e.packetCount(), 3);
    auto u = e.makeUpdate();
    EXPECT_EQ(u.completedCount, 0);
    EXPECT_EQ(u.lapNumberText, "2");
}
