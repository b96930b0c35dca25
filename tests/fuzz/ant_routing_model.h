#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// Where the library's message thread must hand one received message: which
// callback, with which arguments, and the buffer bytes it must have written.
struct ExpectedDelivery {
    bool toResponse = false;
    std::uint8_t channel = 0;
    std::uint8_t code = 0;           // message ID for the response callback, event code for a channel
    std::vector<std::uint8_t> bytes; // buffer bytes 0 onwards
    std::optional<std::uint8_t> byte10;

    friend bool operator==(const ExpectedDelivery&, const ExpectedDelivery&) = default;
};

// Model of the routing from framed message to callback. The message thread
// reads every message into one buffer that it keeps, so the model keeps that
// buffer too: fixed-size copies of short messages carry bytes of earlier ones.
class AntRoutingModel {
  public:
    static constexpr std::size_t kMaxPayload = 41;
    static constexpr std::size_t kChannels = 8;

    void setChannel(std::size_t channel, bool callback, bool buffer);
    void setThreadBuffer(const std::array<std::uint8_t, kMaxPayload>& bytes) { threadBuffer_ = bytes; }

    // One message that arrived whole with a good checksum (the response
    // callback and its buffer are always registered).
    std::optional<ExpectedDelivery> route(std::uint8_t id, std::vector<std::uint8_t> payload);

  private:
    struct Channel {
        bool callback = false;
        bool buffer = false;
    };

    std::optional<ExpectedDelivery> toChannel(std::uint8_t event, std::size_t size) const;
    ExpectedDelivery toResponse(std::uint8_t id, std::size_t copySize) const;

    std::array<std::uint8_t, kMaxPayload> threadBuffer_{};
    std::array<Channel, kChannels> channels_{};
};
