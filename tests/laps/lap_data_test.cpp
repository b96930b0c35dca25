#include "laps/lap_data.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

using namespace draftwell;

TEST(LapData, DefaultsAndIdentity) {
    LapData a;
    EXPECT_FALSE(a.use);
    EXPECT_EQ(a.lap, 0);
    EXPECT_TRUE(a.pageState.isEmpty());
    EXPECT_FALSE(a.added);
    EXPECT_FALSE(a.valid);

    const std::regex v4("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
    std::set<std::string> ids;
    for (int i = 0; i < 1000; ++i) {
        LapData l;
        EXPECT_TRUE(std::regex_match(l.id, v4)) << l.id;
        ids.insert(l.id);
    }
    EXPECT_EQ(ids.size(), 1000u);
}

TEST(LapData, SharedReferenceSeesChanges) {
    LapDataRef a = makeLapData();
    LapDataRef b = a;
    b->use = true;
    b->cdACal = 0.25;
    EXPECT_TRUE(a->use);
    EXPECT_DOUBLE_EQ(a->cdACal, 0.25);
}
