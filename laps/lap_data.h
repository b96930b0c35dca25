#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "laps/lap_data_page_state.h"

namespace draftwell {

// One lap record. Shared by reference (LapDataRef) between the engine, the
// service and the views, so a change through one holder is seen by all.
// Only ever touched on the main thread.
struct LapData {
    std::string id = newLapId(); // random UUID, version 4 text form
    bool use = false;
    std::int64_t lap = 0;
    double cdA = 0;
    double cdACal = 0;
    double cal = 0;
    double lapTime = 0; // s
    double dist = 0;    // m
    double head = 0;
    double chest = 0;
    double riderPwr = 0;
    std::optional<double> speed = 0.0; // km/h; none for a lap time of 0
    LapDataPageState pageState;
    bool added = false;
    bool valid = false;

    static std::string newLapId();
};

using LapDataRef = std::shared_ptr<LapData>;

inline LapDataRef makeLapData() {
    return std::make_shared<LapData>();
}

} // namespace draftwell
