#pragma once

#include <cstdint>
#include <vector>

// A wire frame: sync, length, ID, payload, XOR checksum.
inline std::vector<std::uint8_t> AntFrame(std::uint8_t id, const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> frame;
    frame.reserve(payload.size() + 4);
    frame.push_back(0xA4);
    frame.push_back(static_cast<std::uint8_t>(payload.size()));
    frame.push_back(id);
    for (std::uint8_t byte : payload) {
        frame.push_back(byte);
    }
    std::uint8_t checksum = 0;
    for (std::uint8_t byte : frame) {
        checksum ^= byte;
    }
    frame.push_back(checksum);
    return frame;
}
