#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>

#include "bench/broadcast_log.h"

namespace {

using draftwell::bench::BroadcastLog;
using namespace std::chrono_literals;

BroadcastLog::Payload page(std::uint8_t first) {
    return {first, 1, 2, 3, 4, 5, 6, 7};
}

TEST(BroadcastLog, MatchesInSendingOrderAndCountsOvertakenOnesAsLost) {
    BroadcastLog log;
    const auto t0 = BroadcastLog::Clock::now();
    log.recordSent(page(0x05), t0);
    log.recordSent(page(0x45), t0 + 1ms);
    log.recordSent(page(0x85), t0 + 2ms);
    log.recordSent(page(0x05), t0 + 3ms); // the same page again, next round

    EXPECT_EQ(log.matchReceived(page(0x05)), t0);
    // 0x45 never arrives: receiving 0x85 shows it was lost.
    EXPECT_EQ(log.matchReceived(page(0x85)), t0 + 2ms);
    EXPECT_EQ(log.lostCount(), 1);
    EXPECT_EQ(log.matchReceived(page(0x05)), t0 + 3ms);
    EXPECT_EQ(log.sentCount(), 4);
}

TEST(BroadcastLog, UnknownOrShortPayloadMatchesNothingAndLosesNothing) {
    BroadcastLog log;
    const auto t0 = BroadcastLog::Clock::now();
    log.recordSent(page(0x05), t0);
    EXPECT_FALSE(log.matchReceived(page(0x06)));
    const std::array<std::uint8_t, 7> shortPayload{0x05, 1, 2, 3, 4, 5, 6};
    EXPECT_FALSE(log.matchReceived(shortPayload));
    EXPECT_EQ(log.lostCount(), 0);
    EXPECT_EQ(log.matchReceived(page(0x05)), t0);
}

TEST(BroadcastLog, ClearForgetsWhatWasSentBefore) {
    BroadcastLog log;
    log.recordSent(page(0x05), BroadcastLog::Clock::now());
    log.clear();
    EXPECT_FALSE(log.matchReceived(page(0x05)));
    EXPECT_EQ(log.sentCount(), 0);
    EXPECT_EQ(log.lostCount(), 0);
}

} // namespace
