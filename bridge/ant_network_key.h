#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace draftwell {

using ANTNetworkKey = std::array<std::uint8_t, 8>;

// The ANT+ network key: the companion app broadcasts on the ANT+ network.
// Transmitters on another network need their own key (--network-key).
inline constexpr ANTNetworkKey kDefaultANTNetworkKey{0xB9, 0xA5, 0x21, 0xFB, 0xBD, 0x72, 0xC3, 0x45};

// Exactly 16 hex digits, first byte first ("B9A521FBBD72C345"); anything else gives nothing.
std::optional<ANTNetworkKey> parseANTNetworkKey(std::string_view text);

} // namespace draftwell
