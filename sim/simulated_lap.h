#pragma once

#include <array>
#include <cstdint>

namespace antsim {

using LapPage = std::array<std::uint8_t, 8>;

// One finished lap as the DFX app reports it.
struct SimulatedLap {
    std::uint8_t lapNumber = 0; // 0 to 63
    double cdA = 0;
    double cal = 0;
    double lapTime = 0; // seconds
    double dist = 0;    // metres
    double head = 0;
    double chest = 0;
    double riderPwr = 0; // watts
    bool valid = true;

    // The lap's broadcast page 0, 1 or 2. Values are rounded to the page's
    // resolution and clamped to what its fields can carry.
    LapPage page(int index) const;
};

} // namespace antsim
