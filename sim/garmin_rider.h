#pragma once

#include <array>
#include <cstdint>
#include <random>

#include "sim/simulated_lap.h"

namespace antsim {

// One Garmin running the DFX app: rides laps with plausible figures and
// repeats the pages of its last finished lap, a fresh page order each round.
class GarminRider {
  public:
    GarminRider(std::uint16_t deviceNumber, std::uint8_t firstLap, int invalidEvery, std::uint32_t seed);

    std::uint16_t deviceNumber() const { return deviceNumber_; }
    bool hasLap() const { return lapsFinished_ > 0; }
    const SimulatedLap& lastLap() const { return lap_; }
    std::uint8_t nextLapNumber() const { return nextLapNumber_; }

    // The calibration factor moves by this many percent per lap, as when the
    // wind or the temperature changes through a run.
    void setCalDrift(double percentPerLap) { calDriftPercent_ = percentPerLap; }

    // Finishes the lap being ridden; it becomes the one broadcast.
    void finishLap();

    // The next page to broadcast; only meaningful once a lap is finished.
    LapPage nextPage();

  private:
    std::uint16_t deviceNumber_;
    int invalidEvery_;
    std::mt19937 rng_;
    std::uint8_t nextLapNumber_;
    long lapsFinished_ = 0;
    double calDriftPercent_ = 0;
    SimulatedLap lap_;
    std::array<int, 3> order_{0, 1, 2};
    std::size_t orderPos_ = 3;
};

} // namespace antsim
