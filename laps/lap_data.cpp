#include "laps/lap_data.h"

#include <array>
#include <cstdio>
#include <random>

namespace draftwell {

std::string LapData::newLapId() {
    // One generator per thread: seeding from random_device per id is slow and
    // the records are created on the main thread only anyway.
    thread_local std::mt19937_64 gen{[] {
        std::random_device rd;
        std::seed_seq seq{rd(), rd(), rd(), rd()};
        return std::mt19937_64(seq);
    }()};
    std::array<std::uint8_t, 16> b{};
    for (std::size_t i = 0; i < b.size(); i += 8) {
        std::uint64_t v = gen();
        for (std::size_t k = 0; k < 8; ++k) {
            b[i + k] = static_cast<std::uint8_t>(v >> (8 * k));
        }
    }
    b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40); // version 4
    b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80); // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}

} // namespace draftwell
