#include "sim/simulated_lap.h"

#include <algorithm>
#include <cmath>

namespace antsim {

namespace {

std::uint32_t raw(double value, double scale, std::uint32_t max) {
    const double scaled = std::round(value * scale);
    if (!(scaled > 0)) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::min(scaled, static_cast<double>(max)));
}

void put16(LapPage& p, std::size_t at, std::uint32_t v) {
    p[at] = static_cast<std::uint8_t>(v & 0xFF);
    p[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

} // namespace

LapPage SimulatedLap::page(int index) const {
    LapPage p{};
    p[0] = static_cast<std::uint8_t>((lapNumber & 0x3F) | ((index & 0x03) << 6));
    switch (index) {
    case 0: {
        put16(p, 1, raw(cdA, 10000, 0xFFFF));
        put16(p, 3, raw(cal, 10000, 0xFFFF));
        const auto ms = raw(lapTime, 1000, 0xFFFFFF);
        put16(p, 5, ms);
        p[7] = static_cast<std::uint8_t>(ms >> 16);
        break;
    }
    case 1:
        put16(p, 1, raw(dist, 10, 0xFFFF));
        put16(p, 3, raw(head, 10, 0xFFFF));
        put16(p, 5, raw(chest, 10, 0xFFFF));
        p[7] = valid ? 0x01 : 0x00;
        break;
    default:
        put16(p, 1, raw(riderPwr, 10, 0xFFFF));
        break;
    }
    return p;
}

} // namespace antsim
