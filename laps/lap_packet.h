#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "laps/lap_data_page_state.h"

namespace draftwell {

// Common view of a decoded broadcast page; everything beyond the lap number
// is read after testing the concrete page type.
struct LapPacket {
    LapPacket(const LapPacket&) = default;
    LapPacket& operator=(const LapPacket&) = default;
    virtual ~LapPacket() = default;

    std::uint8_t lapNumber = 0;
    LapDataPageState packetNo; // the page's bit, not its index

  protected:
    explicit LapPacket(LapDataPageState bit) : packetNo(bit) {}
};

struct Packet0 final : LapPacket {
    Packet0() : LapPacket(LapDataPageState::page0) {}
    double cdA = 0;
    double cal = 0;
    double lapTime = 0; // seconds
};

struct Packet1 final : LapPacket {
    Packet1() : LapPacket(LapDataPageState::page1) {}
    double dist = 0; // metres
    double head = 0;
    double chest = 0;
    bool valid = false;
};

struct Packet2 final : LapPacket {
    Packet2() : LapPacket(LapDataPageState::page2) {}
    double riderPwr = 0;
};

// Decodes one 8-byte broadcast payload (bytes after the eighth are ignored).
// Returns null for a short payload or the undefined page 3.
std::unique_ptr<LapPacket> decodeLapPage(std::span<const std::uint8_t> payload);

} // namespace draftwell
