#include "laps/lap_assembly_engine.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

using namespace draftwell;

namespace {

using Page = std::vector<std::uint8_t>;

Page p0(int lap, std::uint16_t cdA = 3000, std::uint16_t cal = 10000, std::uint32_t ms = 60000) {
    return {std::uint8_t(lap),      std::uint8_t(cdA), std::uint8_t(cdA >> 8), std::uint8_t(cal),
            std::uint8_t(cal >> 8), std::uint8_t(ms),  std::uint8_t(ms >> 8),  std::uint8_t(ms >> 16)};
}
Page p1(int lap, std::uint16_t dist = 1000, bool valid = true) {
    return {std::uint8_t(0x40 | lap), std::uint8_t(dist), std::uint8_t(dist >> 8), 0, 0, 0, 0, valid};
}
Page p2(int lap, std::uint16_t pwr = 2500) {
    return {std::uint8_t(0x80 | lap), std::uint8_t(pwr), std::uint8_t(pwr >> 8), 0, 0, 0, 0, 0};
}
const Page kLap5[] = {{0x05, 0x10, 0x0C, 0x10, 0x27, 0x40, 0xE2, 0x01},
                      {0x45, 0x88, 0x13, 0x84, 0x03, 0xE8, 0x03, 0x01},
                      {0x85, 0xC4, 0x09, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
const std::string kLap5Message = "Lap 5 complete CdA 0.3088 Cal 1.0000 Time 123.456s Dist 500.0 Speed 14.6 "
                                 "RiderPwr 250.0 Head 90.0 Chest 100.0";

LapAssemblyUpdate feed(LapAssemblyEngine& e, const Page& bytes) {
    const auto page = decodeLapPage(bytes);
    EXPECT_NE(page, nullptr);
    return page ? e.process(*page) : LapAssemblyUpdate{};
}

// "<lap> <progress> <status>[ complete] <count>"
std::string text(const LapAssemblyUpdate& u) {
    return u.lapNumberText + ' ' + u.progressText + ' ' + u.statusText +
           (u.lapComplete ? " complete " : " ") + std::to_string(u.completedCount);
}

} // namespace

// Pages in -> the update after each page, the lap messages, and the completed
// laps (newest first, "lap:use"), each timed lap with a speed.
TEST(LapAssemblyEngine, PageSequences) {
    const std::vector<Page> lap1{p0(1), p1(1), p2(1)};
    const std::vector<Page> lap2{p0(2), p1(2), p2(2)};
    const struct {
        const char* name;
        std::vector<Page> pages;
        std::vector<std::string> updates;
        std::string lastMessage; // empty: not checked
        std::vector<std::string> completed;
        double currentCdA;
    } cases[] = {
        // clang-format off
        {"lap 5 in any order with repeats", {kLap5[2], kLap5[2], kLap5[0], kLap5[1]},
         {"5 1/3 Invalid 0", "5 1/3 Invalid 0", "5 2/3 Invalid 0", "5 3/3 Valid complete 1"}, kLap5Message, {"5:1"},
         0.3088},
        {"the first copy of a page wins", {p0(9), p0(9, 1234, 9000, 1000), p1(9), p1(9, 2000, false), p2(9)},
         {"9 1/3 Invalid 0", "9 1/3 Invalid 0", "9 2/3 Valid 0", "9 2/3 Valid 0", "9 3/3 Valid complete 1"},
         "Lap 9 complete CdA 0.3000 Cal 1.0000 Time 60.000s Dist 100.0 Speed 6.0 RiderPwr 250.0 Head 0.0 Chest 0.0",
         {"9:1"}, 0.3},
        {"repeats of a completed lap change nothing", {p0(7), p1(7), p2(7), p0(7, 1, 1, 1)},
         {"7 1/3 Invalid 0", "7 2/3 Valid 0", "7 3/3 Valid complete 1", "7 3/3 Valid complete 1"}, "", {"7:1"}, 0.3},
        {"a new lap number drops the unfinished lap", {p0(3), p2(3), p1(4)},
         {"3 1/3 Invalid 0", "3 2/3 Invalid 0", "4 1/3 Valid 0"}, "", {}, 0.0},
        {"an invalid lap never completes", {p0(3), p2(3), p1(3, 1000, false), p1(3), p0(4)},
         {"3 1/3 Invalid 0", "3 2/3 Invalid 0", "3 3/3 Invalid 0", "3 3/3 Invalid 0", "4 1/3 Invalid 0"}, "", {},
         0.3},
        {"a blank lap 0, then the lap that replaces it",
         {p0(0, 0, 0, 0), p1(0, 0, false), p2(0, 0), p1(0, 0, false), p0(0, 2900), p1(0), p2(0, 2000)},
         {"0 1/3 Invalid 0", "0 2/3 Invalid 0", "- 3/3 Invalid 0", "- 3/3 Invalid 0", "0 1/3 Invalid 0",
          "0 2/3 Valid 0", "0 3/3 Valid complete 1"}, "", {"0:1"}, 0.29},
        {"the first lap 0 after start-up completes unticked", {p0(0), p1(0), p2(0), p0(1), p1(1), p2(1)},
         {"0 1/3 Invalid 0", "0 2/3 Valid 0", "0 3/3 Valid complete 1", "1 1/3 Invalid 1", "1 2/3 Valid 1",
          "1 3/3 Valid complete 2"}, "", {"1:1", "0:0"}, 0.3},
        {"lap numbers wrap from 63 to 0", {p0(63), p1(63), p2(63), p0(0), p1(0), p2(0)},
         {"63 1/3 Invalid 0", "63 2/3 Valid 0", "63 3/3 Valid complete 1", "0 1/3 Invalid 1", "0 2/3 Valid 1",
          "0 3/3 Valid complete 2"}, "", {"0:1", "63:1"}, 0.3},
        {"no lap time, no speed", {p0(2, 3000, 10000, 0), p1(2), p2(2)}, {"2 1/3 Invalid 0", "2 2/3 Valid 0",
         "2 3/3 Valid complete 1"},
         "Lap 2 complete CdA 0.3000 Cal 1.0000 Time 0.000s Dist 100.0 Speed – RiderPwr 250.0 Head 0.0 Chest 0.0",
         {"2:1"}, 0.3},
        {"no lap time and no distance", {p0(2, 3000, 10000, 0), p1(2, 0), p2(2)}, {"2 1/3 Invalid 0",
         "2 2/3 Valid 0", "2 3/3 Valid complete 1"},
         "Lap 2 complete CdA 0.3000 Cal 1.0000 Time 0.000s Dist 0.0 Speed – RiderPwr 250.0 Head 0.0 Chest 0.0",
         {"2:1"}, 0.3},
        // Late repeats of a logged lap, heard after the next lap's first page, are absorbed...
        {"late repeats", {lap1[0], lap1[1], lap1[2], p0(2), lap1[0], lap1[1], lap1[2], lap2[0], lap2[1], lap2[2]},
         {"1 1/3 Invalid 0", "1 2/3 Valid 0", "1 3/3 Valid complete 1", "2 1/3 Invalid 1", "2 1/3 Invalid 1",
          "2 1/3 Invalid 1", "2 1/3 Invalid 1", "2 1/3 Invalid 1", "2 2/3 Valid 1", "2 3/3 Valid complete 2"}, "",
         {"2:1", "1:1"}, 0.3},
        // ...unless their figures differ: a Garmin that started a new activity numbers its laps from 1 again.
        {"a new activity", {lap1[0], lap1[1], lap1[2], p0(2), p0(1, 3100, 10000, 61000), p1(1, 1200), p2(1, 2600),
         lap2[0], lap2[1], lap2[2]}, {"1 1/3 Invalid 0", "1 2/3 Valid 0", "1 3/3 Valid complete 1",
         "2 1/3 Invalid 1", "1 1/3 Invalid 1", "1 2/3 Valid 1", "1 3/3 Valid complete 2", "2 1/3 Invalid 2",
         "2 2/3 Valid 2", "2 3/3 Valid complete 3"}, "", {"2:1", "1:1", "1:1"}, 0.3},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LapAssemblyEngine e;
        std::vector<std::string> updates, messages, completed;
        for (const Page& page : c.pages) {
            const LapAssemblyUpdate u = feed(e, page);
            updates.push_back(text(u));
            if (u.lapMessage) {
                messages.push_back(*u.lapMessage);
            }
        }
        EXPECT_EQ(updates, c.updates);
        for (const LapDataRef& lap : e.completedLaps()) {
            completed.push_back(std::to_string(lap->lap) + (lap->use ? ":1" : ":0"));
            EXPECT_TRUE(lap->added);
            EXPECT_EQ(lap->speed.has_value(), lap->lapTime > 0) << lap->lap;
        }
        EXPECT_EQ(completed, c.completed);
        EXPECT_EQ(messages.size(), completed.size());
        if (!c.lastMessage.empty()) {
            ASSERT_FALSE(messages.empty());
            EXPECT_EQ(messages.back(), c.lastMessage);
        }
        EXPECT_DOUBLE_EQ(e.currentLapData()->cdA, c.currentCdA);
    }
}

TEST(LapAssemblyEngine, FiguresOfLap5AndTheMessageInADecimalCommaLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "scripts/install-deps generates de_DE.UTF-8";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5"); // the locale is really in force
    LapAssemblyEngine e;
    LapAssemblyUpdate u;
    for (const Page& page : kLap5) {
        u = feed(e, page);
    }
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(u.lapMessage, kLap5Message);
    EXPECT_NEAR(e.completedLaps().at(0)->speed.value_or(0), 500.0 / 123.456 * 3.6, 1e-12);
}

TEST(LapAssemblyEngine, ClearCompletedLapsKeepsTheCurrentLap) {
    LapAssemblyEngine e;
    EXPECT_EQ(e.makeUpdate(), (LapAssemblyUpdate{"-", "0/3", "Invalid", false, 0, std::nullopt}));
    for (const Page& page : {p0(1), p1(1), p2(1), p0(2), p1(2), p2(2)}) {
        feed(e, page);
    }
    const auto current = e.currentLapData();
    e.clearCompletedLaps();
    EXPECT_TRUE(e.completedLaps().empty());
    EXPECT_EQ(e.currentLapData(), current);
    EXPECT_EQ(e.packetCount(), 3);
    EXPECT_EQ(e.makeUpdate(), (LapAssemblyUpdate{"2", "3/3", "Valid", true, 0, std::nullopt}));
}
