#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "laps/lap_assembly_engine.h"

namespace draftwell {

// A transmitter by its device number; pages that carry none share one lane.
using RiderKey = std::optional<std::uint16_t>;

// One transmitter's own lap assembly: its pages never touch another's laps.
struct RiderLane {
    RiderKey rider;
    LapAssemblyEngine assembly;
};

// Every transmitter heard, in order of first hearing. Main thread only.
class RiderLanes {
  public:
    // The rider's lane, made on first hearing; `created` tells which.
    RiderLane& laneFor(RiderKey rider, bool& created);
    RiderLane* find(RiderKey rider);
    const RiderLane* find(RiderKey rider) const;

    std::size_t size() const { return lanes_.size(); }
    bool empty() const { return lanes_.empty(); }
    const RiderLane& at(std::size_t i) const { return *lanes_[i]; }
    RiderLane& at(std::size_t i) { return *lanes_[i]; }
    std::vector<RiderKey> riders() const;

    void clearCompletedLaps();
    // Forgets every rider, with their lanes.
    void clear() { lanes_.clear(); }

  private:
    // Stable addresses: lanes are handed out by reference.
    std::vector<std::unique_ptr<RiderLane>> lanes_;
};

} // namespace draftwell
