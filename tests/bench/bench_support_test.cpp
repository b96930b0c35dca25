// The measuring pieces the benchmarks report with: a wrong rank or a lost
// match would make every figure they print wrong.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "bench/broadcast_log.h"
#include "bench/feed_stick.h"
#include "bench/latency_summary.h"

namespace {

using namespace draftwell::bench;
using namespace std::chrono_literals;

TEST(LatencySummary, NearestRankPercentilesAreSeenValues) {
    std::vector<double> descending;
    for (int i = 200; i >= 1; --i) {
        descending.push_back(i * 0.01); // 0.01 .. 2.00 ms
    }
    std::vector<double> oneOutlier(99, 0.2);
    oneOutlier.push_back(50.0);
    std::vector<double> twoOutliers = oneOutlier;
    twoOutliers.push_back(50.0); // two in 101: now above the 99th rank
    const struct {
        std::vector<double> samples;
        std::size_t count;
        double median, p99, max, mean;
    } cases[] = {
        {{}, 0, 0, 0, 0, 0},
        {{0.7}, 1, 0.7, 0.7, 0.7, 0.7},
        {descending, 200, 1.00, 1.98, 2.00, 1.005},
        {oneOutlier, 100, 0.2, 0.2, 50.0, (99 * 0.2 + 50.0) / 100},
        {twoOutliers, 101, 0.2, 50.0, 50.0, (99 * 0.2 + 100.0) / 101},
    };
    for (const auto& c : cases) {
        const LatencySummary s = LatencySummary::of(c.samples);
        SCOPED_TRACE(c.count);
        EXPECT_EQ(s.count, c.count);
        EXPECT_DOUBLE_EQ(s.median, c.median);
        EXPECT_DOUBLE_EQ(s.p99, c.p99);
        EXPECT_DOUBLE_EQ(s.max, c.max);
        EXPECT_NEAR(s.mean, c.mean, 1e-9);
    }
}

TEST(BroadcastLog, MatchesInSendingOrderCountsOvertakenOnesAsLostAndForgetsAtClear) {
    const auto page = [](std::uint8_t first) { return BroadcastLog::Payload{first, 1, 2, 3, 4, 5, 6, 7}; };
    BroadcastLog log;
    const auto t0 = BroadcastLog::Clock::now();
    log.recordSent(page(0x05), t0);
    log.recordSent(page(0x45), t0 + 1ms);
    log.recordSent(page(0x85), t0 + 2ms);
    log.recordSent(page(0x05), t0 + 3ms); // the same page again, next round

    // Unknown or short payloads match nothing and lose nothing.
    EXPECT_FALSE(log.matchReceived(page(0x06)));
    EXPECT_FALSE(log.matchReceived(std::array<std::uint8_t, 7>{0x05, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(log.lostCount(), 0);
    EXPECT_EQ(log.matchReceived(page(0x05)), t0);
    // 0x45 never arrives: receiving 0x85 shows it was lost.
    EXPECT_EQ(log.matchReceived(page(0x85)), t0 + 2ms);
    EXPECT_EQ(log.lostCount(), 1);
    EXPECT_EQ(log.matchReceived(page(0x05)), t0 + 3ms);
    EXPECT_EQ(log.sentCount(), 4);

    log.recordSent(page(0x05), t0);
    log.clear();
    EXPECT_FALSE(log.matchReceived(page(0x05)));
    EXPECT_EQ(log.sentCount(), 0);
    EXPECT_EQ(log.lostCount(), 0);
}

TEST(FeedStick, ReadsFedBytesInOrderTimesOutEmptyAndWakesAWaitingRead) {
    FeedStick stick;
    stick.feed(std::array<std::uint8_t, 5>{1, 2, 3, 4, 5});
    std::array<std::uint8_t, 3> buffer{};
    ASSERT_EQ(stick.read(buffer.data(), 3, 0), 3u);
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 3>{1, 2, 3}));
    ASSERT_EQ(stick.read(buffer.data(), 3, 0), 2u);
    EXPECT_EQ((std::array<std::uint8_t, 2>{buffer[0], buffer[1]}), (std::array<std::uint8_t, 2>{4, 5}));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(stick.read(buffer.data(), 3, 50), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);

    std::uint32_t got = 0;
    std::thread reader([&] { got = stick.read(buffer.data(), 3, 10000); });
    stick.feed(std::array<std::uint8_t, 2>{7, 8});
    reader.join();
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(buffer[0], 7);
}

} // namespace
