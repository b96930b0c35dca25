#include "sim/stick_frame.h"

namespace antsim {

std::vector<std::uint8_t> encodeStickFrame(const StickFrame& frame, bool corruptChecksum) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(frame.payload.size() + 4);
    bytes.push_back(kSync);
    bytes.push_back(static_cast<std::uint8_t>(frame.payload.size()));
    bytes.push_back(frame.id);
    bytes.insert(bytes.end(), frame.payload.begin(), frame.payload.end());
    std::uint8_t checksum = 0;
    for (const auto b : bytes) {
        checksum ^= b;
    }
    bytes.push_back(corruptChecksum ? static_cast<std::uint8_t>(~checksum) : checksum);
    return bytes;
}

} // namespace antsim
