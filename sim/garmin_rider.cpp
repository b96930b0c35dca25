#include "sim/garmin_rider.h"

#include <algorithm>

namespace antsim {

GarminRider::GarminRider(std::uint16_t deviceNumber, std::uint8_t firstLap, int invalidEvery,
                         std::uint32_t seed)
    : deviceNumber_(deviceNumber), invalidEvery_(invalidEvery), rng_(seed),
      nextLapNumber_(static_cast<std::uint8_t>(firstLap & 0x3F)) {}

void GarminRider::finishLap() {
    auto uniform = [this](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(rng_);
    };
    ++lapsFinished_;
    SimulatedLap lap;
    lap.lapNumber = nextLapNumber_;
    lap.cdA = uniform(0.25, 0.35);
    lap.cal = uniform(0.95, 1.05) * (1.0 + calDriftPercent_ / 100.0 * static_cast<double>(lapsFinished_ - 1));
    lap.lapTime = uniform(60.0, 150.0);
    const double speedKmh = uniform(36.0, 44.0);
    lap.dist = speedKmh / 3.6 * lap.lapTime;
    lap.head = uniform(80.0, 100.0);
    lap.chest = uniform(90.0, 110.0);
    lap.riderPwr = uniform(220.0, 330.0);
    lap.valid = invalidEvery_ <= 0 || lapsFinished_ % invalidEvery_ != 0;
    lap_ = lap;
    // The DFX app counts laps in six bits.
    nextLapNumber_ = static_cast<std::uint8_t>((nextLapNumber_ + 1) & 0x3F);
    orderPos_ = 3;
}

LapPage GarminRider::nextPage() {
    if (orderPos_ >= order_.size()) {
        std::shuffle(order_.begin(), order_.end(), rng_);
        orderPos_ = 0;
    }
    return lap_.page(order_[orderPos_++]);
}

} // namespace antsim
