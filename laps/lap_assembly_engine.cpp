#include "laps/lap_assembly_engine.h"

#include <algorithm>
#include <charconv>

namespace draftwell {

namespace {

// Locale-independent "%.Nf" (printf would follow LC_NUMERIC).
std::string fixed(double v, int digits) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, digits);
    return std::string(buf, res.ptr);
}

} // namespace

bool LapAssemblyEngine::isBlankLap(const LapData& l) {
    return l.lap == 0 && l.pageState == LapDataPageState::all && !l.valid && l.cdA == 0 && l.cal == 0 &&
           l.lapTime == 0 && l.dist == 0 && l.head == 0 && l.chest == 0 && l.riderPwr == 0;
}

bool LapAssemblyEngine::carriesData(const LapPacket& page) {
    if (auto p0 = dynamic_cast<const Packet0*>(&page)) {
        return p0->cdA != 0 || p0->cal != 0 || p0->lapTime != 0;
    }
    if (auto p1 = dynamic_cast<const Packet1*>(&page)) {
        return p1->dist != 0 || p1->head != 0 || p1->chest != 0 || p1->valid;
    }
    if (auto p2 = dynamic_cast<const Packet2*>(&page)) {
        return p2->riderPwr != 0;
    }
    return false;
}

std::string LapAssemblyEngine::lapMessage(const LapData& l) {
    return "Lap " + std::to_string(l.lap) + " complete CdA " + fixed(l.cdA, 4) + " Cal " + fixed(l.cal, 4) +
           " Time " + fixed(l.lapTime, 3) + "s Dist " + fixed(l.dist, 1) + " Speed " +
           (l.speed ? fixed(*l.speed, 1) : "–") + " RiderPwr " + fixed(l.riderPwr, 1) + " Head " +
           fixed(l.head, 1) + " Chest " + fixed(l.chest, 1);
}

std::optional<double> LapAssemblyEngine::lapSpeed(double dist, double lapTime) {
    if (!(lapTime > 0)) {
        return std::nullopt;
    }
    return dist / lapTime * 3.6;
}

bool LapAssemblyEngine::repeatsCompletedLap(const LapPacket& page) const {
    const auto p0 = dynamic_cast<const Packet0*>(&page);
    const auto p1 = dynamic_cast<const Packet1*>(&page);
    const auto p2 = dynamic_cast<const Packet2*>(&page);
    return std::ranges::any_of(completedLaps_, [&](const LapDataRef& done) {
        const LapData& l = *done;
        if (l.lap != page.lapNumber) {
            return false;
        }
        if (p0) {
            return p0->cdA == l.cdA && p0->cal == l.cal && p0->lapTime == l.lapTime;
        }
        if (p1) {
            return p1->dist == l.dist && p1->head == l.head && p1->chest == l.chest && p1->valid == l.valid;
        }
        return p2 && p2->riderPwr == l.riderPwr;
    });
}

void LapAssemblyEngine::startNewLap(std::uint8_t lapNumber) {
    auto lap = makeLapData();
    lap->use = true;
    lap->lap = lapNumber;
    currentLapData_ = std::move(lap);
    packetCount_ = 0;
}

LapAssemblyUpdate LapAssemblyEngine::process(const LapPacket& page) {
    // Real data for lap 0 replaces the blank lap-0 record, whose page bits are
    // all set and would otherwise make every lap-0 page a repeat.
    if (isBlankLap(*currentLapData_) && page.lapNumber == currentLapData_->lap && carriesData(page)) {
        startNewLap(page.lapNumber);
    }
    if (currentLapData_->lap != page.lapNumber) {
        // A late copy of a lap already logged must neither log it again nor
        // cost the lap being assembled.
        if (repeatsCompletedLap(page)) {
            return makeUpdate();
        }
        startNewLap(page.lapNumber);
    }

    LapData& lap = *currentLapData_;
    if (auto p0 = dynamic_cast<const Packet0*>(&page)) {
        if (!lap.pageState.contains(LapDataPageState::page0)) {
            lap.cdA = p0->cdA;
            lap.cal = p0->cal;
            lap.lapTime = p0->lapTime;
            lap.pageState.insert(LapDataPageState::page0);
            ++packetCount_;
        }
    } else if (auto p1 = dynamic_cast<const Packet1*>(&page)) {
        if (!lap.pageState.contains(LapDataPageState::page1)) {
            lap.dist = p1->dist;
            lap.head = p1->head;
            lap.chest = p1->chest;
            lap.pageState.insert(LapDataPageState::page1);
            lap.valid = p1->valid;
            ++packetCount_;
        }
    } else if (auto p2 = dynamic_cast<const Packet2*>(&page)) {
        if (!lap.pageState.contains(LapDataPageState::page2)) {
            lap.riderPwr = p2->riderPwr;
            lap.pageState.insert(LapDataPageState::page2);
            ++packetCount_;
        }
    }

    std::optional<std::string> message;
    if (lap.pageState == LapDataPageState::all && lap.valid && !lap.added) {
        lap.speed = lapSpeed(lap.dist, lap.lapTime);
        completedLaps_.insert(completedLaps_.begin(), currentLapData_);
        lap.added = true;
        message = lapMessage(lap);
    }
    return makeUpdate(std::move(message));
}

LapAssemblyUpdate LapAssemblyEngine::makeUpdate(std::optional<std::string> lapMessage) const {
    const LapData& lap = *currentLapData_;
    LapAssemblyUpdate u;
    if (lap.added && lap.pageState == LapDataPageState::all) {
        u.lapComplete = lap.valid;
        u.lapNumberText = isBlankLap(lap) ? "-" : std::to_string(lap.lap);
    } else if (lap.pageState.isEmpty()) {
        u.lapComplete = false;
        u.lapNumberText = "-";
    } else {
        u.lapComplete = false;
        u.lapNumberText = isBlankLap(lap) ? "-" : std::to_string(lap.lap);
    }
    u.progressText = std::to_string(packetCount_) + "/3";
    u.statusText = lap.valid ? "Valid" : "Invalid";
    u.completedCount = static_cast<std::int64_t>(completedLaps_.size());
    u.lapMessage = std::move(lapMessage);
    return u;
}

void LapAssemblyEngine::clearCompletedLaps() {
    completedLaps_.clear();
}

} // namespace draftwell
