#include "bench/lap_broadcasts.h"

#include "sim/simulated_lap.h"
#include "sim/stick_frame.h"

namespace draftwell::bench {

namespace {

constexpr std::uint8_t kBroadcastDataId = 0x4E;
constexpr std::uint8_t kChannelIdFollows = 0x80;
constexpr std::uint8_t kDfxDeviceType = 113;
constexpr std::uint8_t kDfxTransmissionType = 5;

} // namespace

namespace {

LapPageBytes pageOf(std::uint8_t lapNumber, int page, int round) {
    antsim::SimulatedLap lap;
    lap.lapNumber = static_cast<std::uint8_t>(lapNumber & 0x3F);
    const double wobble = (lapNumber % 7) * 0.001;
    lap.cdA = 0.25 + wobble;
    lap.cal = 1.0 + wobble;
    lap.lapTime = 60.0 + lapNumber % 11 + round % 1000 * 0.001;
    lap.dist = 800.0 + lapNumber % 13;
    lap.head = 90.0;
    lap.chest = 100.0;
    lap.riderPwr = 250.0 + lapNumber % 17;
    lap.valid = true;
    return lap.page(page);
}

} // namespace

LapPageBytes lapPage(std::uint8_t lapNumber, int page) {
    return pageOf(lapNumber, page, 0);
}

LapPageBytes runLapPage(int lapIndex, int page) {
    return pageOf(static_cast<std::uint8_t>(1 + lapIndex % 63), page, lapIndex / 63);
}

std::vector<std::uint8_t> broadcastFrame(const LapPageBytes& page, std::uint16_t deviceNumber) {
    antsim::StickFrame frame{kBroadcastDataId, {0x00}};
    frame.payload.insert(frame.payload.end(), page.begin(), page.end());
    frame.payload.insert(frame.payload.end(),
                         {kChannelIdFollows, static_cast<std::uint8_t>(deviceNumber & 0xFF),
                          static_cast<std::uint8_t>(deviceNumber >> 8), kDfxDeviceType,
                          kDfxTransmissionType});
    return antsim::encodeStickFrame(frame);
}

std::vector<std::uint8_t> broadcastStream(int laps, std::uint16_t deviceNumber) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < laps; ++i) {
        for (int page = 0; page < 3; ++page) {
            const auto frame = broadcastFrame(runLapPage(i, page), deviceNumber);
            bytes.insert(bytes.end(), frame.begin(), frame.end());
        }
    }
    return bytes;
}

} // namespace draftwell::bench
