#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace draftwell::bench {

using LapPageBytes = std::array<std::uint8_t, 8>;

// Plausible pages of one lap as the DFX app broadcasts them; the figures vary
// a little with the lap number so laps differ.
LapPageBytes lapPage(std::uint8_t lapNumber, int page);
// Page of the lapIndex-th lap of a long run: numbers 1 to 63 over and over,
// each round with other lap times, so no lap repeats an earlier one.
LapPageBytes runLapPage(int lapIndex, int page);

// The wire bytes of one extended broadcast on channel 0 carrying `page`, as a
// stick in extended-message mode sends it.
std::vector<std::uint8_t> broadcastFrame(const LapPageBytes& page, std::uint16_t deviceNumber);

// `laps` complete laps, three frames each, lap numbers counting up from 1
// (wrapping within 1..63 so consecutive laps always differ).
std::vector<std::uint8_t> broadcastStream(int laps, std::uint16_t deviceNumber);

} // namespace draftwell::bench
