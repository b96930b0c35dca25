// Small value helpers of the bridge: network key text and device numbers.
#include <gtest/gtest.h>

#include <array>

#include "bridge/ant_network_key.h"
#include "bridge/ant_scanner_bridge.h"

namespace draftwell::test {
namespace {

TEST(ANTNetworkKeyTest, ParsesSixteenHexDigitsInEitherCase) {
    EXPECT_EQ(parseANTNetworkKey("B9A521FBBD72C345"), kDefaultANTNetworkKey);
    EXPECT_EQ(parseANTNetworkKey("0123456789abcdef"),
              (ANTNetworkKey{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
    EXPECT_FALSE(parseANTNetworkKey("B9A521FBBD72C34"));
    EXPECT_FALSE(parseANTNetworkKey("B9A521FBBD72C3450"));
    EXPECT_FALSE(parseANTNetworkKey("B9A521FBBD72C34G"));
    EXPECT_FALSE(parseANTNetworkKey("B9 A5 21 FB BD 72"));
    EXPECT_FALSE(parseANTNetworkKey(""));
}

std::array<std::uint8_t, 64> channelBytes(std::uint8_t flag, std::uint8_t low, std::uint8_t high) {
    std::array<std::uint8_t, 64> bytes{};
    bytes[9] = flag;
    bytes[10] = low;
    bytes[11] = high;
    return bytes;
}

TEST(DeviceNumberTest, OnlyFlaggedExtendedDataCarriesADeviceNumber) {
    const auto flagged = channelBytes(0x80, 0x34, 0x12);
    EXPECT_EQ(ANTScannerBridge::extractDeviceIDFromChannelBytes(flagged.data(), 0xA3),
              std::optional<std::uint16_t>(0x1234));
    EXPECT_EQ(ANTScannerBridge::extractDeviceIDFromChannelBytes(flagged.data(), 0xA4),
              std::optional<std::uint16_t>(0x1234));
    const auto flaggedWithOthers = channelBytes(0xE0, 0xFF, 0xFF);
    EXPECT_EQ(ANTScannerBridge::extractDeviceIDFromChannelBytes(flaggedWithOthers.data(), 0xA3),
              std::optional<std::uint16_t>(0xFFFF));
    EXPECT_FALSE(ANTScannerBridge::extractDeviceIDFromChannelBytes(flagged.data(), 0x9A));
    EXPECT_FALSE(ANTScannerBridge::extractDeviceIDFromChannelBytes(flagged.data(), 0xA5));
    const auto unflagged = channelBytes(0x7F, 0x34, 0x12);
    EXPECT_FALSE(ANTScannerBridge::extractDeviceIDFromChannelBytes(unflagged.data(), 0xA3));
}

} // namespace
} // namespace draftwell::test
