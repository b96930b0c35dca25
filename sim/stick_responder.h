#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/stick_frame.h"

namespace antsim {

// Message IDs and codes of the stick side of the protocol.
inline constexpr std::uint8_t kResponseEvent = 0x40;
inline constexpr std::uint8_t kBroadcastData = 0x4E;
inline constexpr std::uint8_t kStartupMessage = 0x6F;
inline constexpr std::uint8_t kResetSystem = 0x4A;
inline constexpr std::uint8_t kRequestMessage = 0x4D;
inline constexpr std::uint8_t kCloseChannel = 0x4C;
inline constexpr std::uint8_t kOpenRxScan = 0x5B;
inline constexpr std::uint8_t kEventChannelClosed = 0x07;
inline constexpr std::uint8_t kInvalidMessage = 0x28;
inline constexpr std::uint8_t kDfxDeviceType = 113;
inline constexpr std::uint8_t kDfxTransmissionType = 5;
inline constexpr std::uint8_t kDfxRadioFrequency = 67;

// The stick's protocol state: answers host commands and knows whether, and
// with which settings, channel 0 is scanning. No threads, no clock.
class StickResponder {
  public:
    StickResponder();

    // The stick's answers to one host command, in the order it sends them.
    std::vector<StickFrame> handle(const StickFrame& command);

    bool scanning() const { return scanning_; }
    bool extendedMessages() const { return extendedMessages_; }

    // Whether the scanning channel picks up a transmitter with this ID.
    bool hears(std::uint16_t deviceNumber, std::uint8_t deviceType, std::uint8_t transmissionType) const;

    // Channel status answers report tracking once broadcasts are heard.
    void setTracking(bool tracking) { tracking_ = tracking; }

    static StickFrame response(std::uint8_t channel, std::uint8_t id, std::uint8_t code);

  private:
    struct Channel {
        bool assigned = false;
        std::uint8_t type = 0;
        std::uint8_t network = 0;
        std::uint8_t frequency = 66;
        std::uint16_t deviceNumber = 0;
        std::uint8_t deviceType = 0;
        std::uint8_t transmissionType = 0;
    };

    void reset();
    std::vector<StickFrame> answerRequest(std::uint8_t channel, std::uint8_t requested) const;
    std::uint8_t channelStatus(std::uint8_t channel) const;
    Channel* channelFor(std::uint8_t channelByte);

    std::array<Channel, 8> channels_;
    bool extendedMessages_ = false;
    bool scanning_ = false;
    bool tracking_ = false;
};

} // namespace antsim
