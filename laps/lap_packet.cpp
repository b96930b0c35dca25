#include "laps/lap_packet.h"

namespace draftwell {

namespace {
double le16(std::span<const std::uint8_t> p, std::size_t at) {
    return static_cast<double>(p[at] | (static_cast<unsigned>(p[at + 1]) << 8));
}
} // namespace

std::unique_ptr<LapPacket> decodeLapPage(std::span<const std::uint8_t> payload) {
    if (payload.size() < 8) {
        return nullptr;
    }
    const auto lapNumber = static_cast<std::uint8_t>(payload[0] & 0x3F);
    switch (payload[0] >> 6) {
    case 0: {
        auto p = std::make_unique<Packet0>();
        p->lapNumber = lapNumber;
        p->cdA = le16(payload, 1) / 10000.0;
        p->cal = le16(payload, 3) / 10000.0;
        const unsigned ms =
            payload[5] | (static_cast<unsigned>(payload[6]) << 8) | (static_cast<unsigned>(payload[7]) << 16);
        p->lapTime = static_cast<double>(ms) / 1000.0;
        return p;
    }
    case 1: {
        auto p = std::make_unique<Packet1>();
        p->lapNumber = lapNumber;
        p->dist = le16(payload, 1) / 10.0;
        p->head = le16(payload, 3) / 10.0;
        p->chest = le16(payload, 5) / 10.0;
        p->valid = (payload[7] & 0x01) != 0;
        return p;
    }
    case 2: {
        auto p = std::make_unique<Packet2>();
        p->lapNumber = lapNumber;
        p->riderPwr = le16(payload, 1) / 10.0;
        return p;
    }
    default:
        return nullptr; // page 3 is not defined
    }
}

} // namespace draftwell
