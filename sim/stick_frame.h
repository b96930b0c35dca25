#pragma once

#include <cstdint>
#include <vector>

namespace antsim {

inline constexpr std::uint8_t kSync = 0xA4;
inline constexpr std::size_t kMaxPayload = 41;

// One ANT serial message: ID and payload, without the wire framing.
struct StickFrame {
    std::uint8_t id = 0;
    std::vector<std::uint8_t> payload;

    bool operator==(const StickFrame&) const = default;
};

// Wire bytes of a frame: sync, length, ID, payload, XOR checksum. A corrupted
// frame carries an inverted checksum.
std::vector<std::uint8_t> encodeStickFrame(const StickFrame& frame, bool corruptChecksum = false);

} // namespace antsim
