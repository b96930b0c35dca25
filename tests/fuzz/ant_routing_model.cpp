#include "tests/fuzz/ant_routing_model.h"

#include <algorithm>

namespace {

constexpr std::size_t kPlainData = 9; // channel byte and 8 data bytes

} // namespace

void AntRoutingModel::setChannel(std::size_t channel, bool callback, bool buffer) {
    channels_.at(channel) = {callback, buffer};
}

std::optional<ExpectedDelivery> AntRoutingModel::route(std::uint8_t id, std::vector<std::uint8_t> payload) {
    const std::size_t size = payload.size();
    // Too long for a message: the framer reports it as unusable. Empty: taken and dropped.
    if (size > kMaxPayload || size == 0) {
        return std::nullopt;
    }
    // The framer hands a burst of one packet on as acknowledged data.
    if ((id == 0x50 || id == 0x5F) && (payload[0] & 0xE0) == 0x80) {
        id = 0x4F;
        payload[0] &= 0x1F;
    }
    std::copy(payload.begin(), payload.end(), threadBuffer_.begin());

    const bool flagged = size > kPlainData;
    switch (id) {
    case 0x40:
        if (threadBuffer_[1] == 0x01) {
            return toChannel(threadBuffer_[2], size);
        }
        return toResponse(id, 3);
    case 0x4E:
        return toChannel(flagged ? 0xA3 : 0x9A, size);
    case 0x4F:
        return toChannel(flagged ? 0xA4 : 0x9B, size);
    case 0x50:
        return toChannel(flagged ? 0xA5 : 0x9C, size);
    case 0x5D:
        return toChannel(0x9D, size);
    case 0x5E:
        return toChannel(0x9E, size);
    case 0x5F:
        return toChannel(0x9F, size);
    case 0xC1:
        return toChannel(0xA0, size);
    case 0xC2:
        return toChannel(0xA1, size);
    case 0xC3:
        return toChannel(0xA2, size);
    case 0x57:
        return toResponse(id, 3);
    case 0x56: {
        ExpectedDelivery delivery = toResponse(id, size);
        delivery.byte10 = static_cast<std::uint8_t>(size);
        if (size > 10) {
            delivery.bytes[10] = static_cast<std::uint8_t>(size);
        }
        return delivery;
    }
    default:
        return toResponse(id, size);
    }
}

// A channel buffer gets the message's own bytes and zeros up to the longest message.
std::optional<ExpectedDelivery> AntRoutingModel::toChannel(std::uint8_t event, std::size_t size) const {
    const std::uint8_t channel = threadBuffer_[0] & 0x1F;
    if (channel >= kChannels || !channels_[channel].callback || !channels_[channel].buffer) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(threadBuffer_.begin(), threadBuffer_.begin() + size);
    bytes.resize(kMaxPayload, 0);
    return ExpectedDelivery{false, channel, event, std::move(bytes), std::nullopt};
}

ExpectedDelivery AntRoutingModel::toResponse(std::uint8_t id, std::size_t copySize) const {
    return ExpectedDelivery{
        true, static_cast<std::uint8_t>(threadBuffer_[0] & 0x1F), id,
        std::vector<std::uint8_t>(threadBuffer_.begin(), threadBuffer_.begin() + copySize), std::nullopt};
}
