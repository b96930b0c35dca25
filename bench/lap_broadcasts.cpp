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

LapPageBytes lapPage(std::uint8_t lapNumber, int page) {
    antsim::SimulatedLap lap;
    lap.lapNumber = static_cast<std::uint8_t>(lapNumber & 0x3F);
    const double wobble = (lapNumber % 7) * 0.001;
    lap.cdA = 0.25 + wobble;
    lap.cal = 1.0 + wobble;
    lap.lapTime = 60.0 + lapNumber % 11;
    lap.dist = 800.0 + lapNumber % 13;
    lap.head = 90.0;
    lap.chest = 100.0;
    lap.riderPwr = 250.0 + lapNumber % 17;
    lap.valid = true;
    return lap.page(page);
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
        const auto lapNumber = static_cast<std::uint8_t>(1 + i % 63);
        for (int page = 0; page < 3; ++page) {
            const auto frame = broadcastFrame(lapPage(lapNumber, page), deviceNumber);
            bytes.insert(bytes.end(), frame.begin(), frame.end());
        }
    }
    return bytes;
}

} // namespace draftwell::bench
