#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <thread>

#include "bench/feed_stick.h"

namespace {

using draftwell::bench::FeedStick;

TEST(FeedStick, ReadsFedBytesInOrderInPiecesOfTheAskedSize) {
    FeedStick stick;
    const std::array<std::uint8_t, 5> bytes{1, 2, 3, 4, 5};
    stick.feed(bytes);
    std::array<std::uint8_t, 3> buffer{};
    ASSERT_EQ(stick.read(buffer.data(), 3, 0), 3u);
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 3>{1, 2, 3}));
    ASSERT_EQ(stick.read(buffer.data(), 3, 0), 2u);
    EXPECT_EQ(buffer[0], 4);
    EXPECT_EQ(buffer[1], 5);
}

TEST(FeedStick, ReadTimesOutWithNothingFed) {
    FeedStick stick;
    std::array<std::uint8_t, 4> buffer{};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(stick.read(buffer.data(), 4, 50), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST(FeedStick, WaitingReadWakesWhenBytesAreFed) {
    FeedStick stick;
    std::array<std::uint8_t, 4> buffer{};
    std::uint32_t got = 0;
    std::thread reader([&] { got = stick.read(buffer.data(), 4, 10000); });
    const std::array<std::uint8_t, 2> bytes{7, 8};
    stick.feed(bytes);
    reader.join();
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(buffer[0], 7);
}

} // namespace
