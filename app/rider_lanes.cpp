#include "app/rider_lanes.h"

namespace draftwell {

RiderLane& RiderLanes::laneFor(RiderKey rider, bool& created) {
    created = false;
    if (RiderLane* lane = find(rider)) {
        return *lane;
    }
    created = true;
    lanes_.push_back(std::make_unique<RiderLane>(RiderLane{rider, {}}));
    return *lanes_.back();
}

RiderLane* RiderLanes::find(RiderKey rider) {
    for (const auto& lane : lanes_) {
        if (lane->rider == rider) {
            return lane.get();
        }
    }
    return nullptr;
}

const RiderLane* RiderLanes::find(RiderKey rider) const {
    return const_cast<RiderLanes*>(this)->find(rider);
}

std::vector<RiderKey> RiderLanes::riders() const {
    std::vector<RiderKey> keys;
    keys.reserve(lanes_.size());
    for (const auto& lane : lanes_) {
        keys.push_back(lane->rider);
    }
    return keys;
}

void RiderLanes::clearCompletedLaps() {
    for (const auto& lane : lanes_) {
        lane->assembly.clearCompletedLaps();
    }
}

} // namespace draftwell
