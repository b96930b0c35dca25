#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "laps/lap_data.h"
#include "laps/lap_packet.h"

namespace draftwell {

// What the main window shows after each page.
struct LapAssemblyUpdate {
    std::string lapNumberText;
    std::string progressText;
    std::string statusText;
    bool lapComplete = false;
    std::int64_t completedCount = 0;
    std::optional<std::string> lapMessage; // only for the page that completed a lap

    friend bool operator==(const LapAssemblyUpdate&, const LapAssemblyUpdate&) = default;
};

// Merges decoded pages, arriving in any order and any number of times, into
// lap records. Single-threaded: called on the main thread only.
class LapAssemblyEngine {
  public:
    LapAssemblyUpdate process(const LapPacket& page);
    LapAssemblyUpdate makeUpdate(std::optional<std::string> lapMessage = std::nullopt) const;
    void clearCompletedLaps();

    const std::vector<LapDataRef>& completedLaps() const { return completedLaps_; } // newest first
    const LapDataRef& currentLapData() const { return currentLapData_; }
    std::int64_t packetCount() const { return packetCount_; }

    // Three all-zero, not-valid pages of lap 0 make this record.
    static bool isBlankLap(const LapData& lap);
    static bool carriesData(const LapPacket& page);
    // km/h; none without a lap time, which would make it infinite.
    static std::optional<double> lapSpeed(double dist, double lapTime);
    // printf-style lap line, always with "." as the decimal separator.
    static std::string lapMessage(const LapData& lap);

  private:
    void startNewLap(std::uint8_t lapNumber);
    // The page carries the number and figures of a lap in completedLaps.
    bool repeatsCompletedLap(const LapPacket& page) const;

    LapDataRef currentLapData_ = makeLapData();
    std::vector<LapDataRef> completedLaps_;
    std::int64_t packetCount_ = 0;
};

} // namespace draftwell
