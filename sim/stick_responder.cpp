#include "sim/stick_responder.h"

namespace antsim {

namespace {

constexpr std::uint8_t kCodeOk = 0x00;
constexpr std::uint8_t kChannelEvent = 0x01;
constexpr std::uint8_t kStartupCommandReset = 0x20;

std::uint8_t byteAt(const std::vector<std::uint8_t>& p, std::size_t i) {
    return i < p.size() ? p[i] : 0;
}

} // namespace

StickResponder::StickResponder() {
    reset();
}

StickFrame StickResponder::response(std::uint8_t channel, std::uint8_t id, std::uint8_t code) {
    return StickFrame{kResponseEvent, {channel, id, code}};
}

void StickResponder::reset() {
    channels_ = {};
    extendedMessages_ = false;
    scanning_ = false;
    tracking_ = false;
}

StickResponder::Channel* StickResponder::channelFor(std::uint8_t channelByte) {
    return channelByte < channels_.size() ? &channels_[channelByte] : nullptr;
}

std::vector<StickFrame> StickResponder::handle(const StickFrame& command) {
    const auto& p = command.payload;
    const std::uint8_t first = byteAt(p, 0);
    auto ok = [&] { return std::vector<StickFrame>{response(first, command.id, kCodeOk)}; };

    switch (command.id) {
    case kResetSystem:
        reset();
        return {StickFrame{kStartupMessage, {kStartupCommandReset}}};
    case kRequestMessage:
        return answerRequest(first, byteAt(p, 1));
    case 0x42: // assign channel
        if (auto* ch = channelFor(first)) {
            *ch = Channel{};
            ch->assigned = true;
            ch->type = byteAt(p, 1);
            ch->network = byteAt(p, 2);
        }
        return ok();
    case 0x41: // unassign channel
        if (auto* ch = channelFor(first)) {
            *ch = Channel{};
        }
        if (first == 0) {
            scanning_ = false;
            tracking_ = false;
        }
        return ok();
    case 0x45: // channel RF frequency
        if (auto* ch = channelFor(first)) {
            ch->frequency = byteAt(p, 1);
        }
        return ok();
    case 0x51: // channel ID
        if (auto* ch = channelFor(first)) {
            ch->deviceNumber = static_cast<std::uint16_t>(byteAt(p, 1) | (byteAt(p, 2) << 8));
            ch->deviceType = byteAt(p, 3);
            ch->transmissionType = byteAt(p, 4);
        }
        return ok();
    case 0x66: // enable extended messages
        extendedMessages_ = byteAt(p, 1) != 0;
        return ok();
    case kOpenRxScan:
        scanning_ = true;
        return ok();
    case kCloseChannel: {
        if (first == 0) {
            scanning_ = false;
            tracking_ = false;
        }
        auto answers = ok();
        answers.push_back(StickFrame{kResponseEvent, {first, kChannelEvent, kEventChannelClosed}});
        return answers;
    }
    case 0x43: // channel period
    case 0x44: // search timeout
    case 0x46: // network key
    case 0x47: // transmit power
    case 0x4B: // open channel
    case 0x60: // transmit power, all channels
    case 0x63: // low priority search timeout
    case 0x6E: // lib config
        return ok();
    default:
        return {response(first, command.id, kInvalidMessage)};
    }
}

std::vector<StickFrame> StickResponder::answerRequest(std::uint8_t channel, std::uint8_t requested) const {
    switch (requested) {
    case 0x52: // channel status
        return {StickFrame{0x52, {channel, channelStatus(channel)}}};
    case 0x51: {
        Channel none;
        const auto& ch = channel < channels_.size() ? channels_[channel] : none;
        return {StickFrame{0x51,
                           {channel, static_cast<std::uint8_t>(ch.deviceNumber & 0xFF),
                            static_cast<std::uint8_t>(ch.deviceNumber >> 8), ch.deviceType,
                            ch.transmissionType}}};
    }
    case 0x54: // capabilities: 8 channels, 8 networks, scanning and extended messages supported
        return {StickFrame{0x54, {0x08, 0x08, 0x00, 0xBA, 0x36, 0x00, 0xDF, 0x00}}};
    case 0x3E: // version
        return {StickFrame{0x3E, {'S', 'I', 'M', '1', '.', '0', '0', 0x00}}};
    default:
        return {response(channel, kRequestMessage, kInvalidMessage)};
    }
}

std::uint8_t StickResponder::channelStatus(std::uint8_t channel) const {
    if (channel >= channels_.size()) {
        return 0;
    }
    const auto& ch = channels_[channel];
    std::uint8_t state = 0; // unassigned
    if (channel == 0 && scanning_) {
        state = tracking_ ? 3 : 2; // tracking or searching
    } else if (ch.assigned) {
        state = 1;
    }
    return static_cast<std::uint8_t>(state | ((ch.network & 0x03) << 2) | ((ch.type & 0x0F) << 4));
}

bool StickResponder::hears(std::uint16_t deviceNumber, std::uint8_t deviceType,
                           std::uint8_t transmissionType) const {
    if (!scanning_) {
        return false;
    }
    const auto& ch = channels_[0];
    // A zero in the channel ID is a wildcard.
    return ch.frequency == kDfxRadioFrequency && (ch.deviceNumber == 0 || ch.deviceNumber == deviceNumber) &&
           (ch.deviceType == 0 || (ch.deviceType & 0x7F) == deviceType) &&
           (ch.transmissionType == 0 || ch.transmissionType == transmissionType);
}

} // namespace antsim
