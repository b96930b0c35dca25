#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// Straightforward model of the framer's receive side: what GetMessage and
// WaitForMessage must answer after a given byte stream and error reports.
class FramerModel {
  public:
    static constexpr std::uint16_t kEmpty = 0xFFFE;
    static constexpr std::uint16_t kError = 0xFFFF;
    static constexpr std::size_t kMaxPayload = 41;
    static constexpr std::size_t kQueueCapacity = 65535;

    // What one GetMessage hands out: its result, destination byte 0 (message
    // ID or error kind) and the payload bytes that must be there.
    struct Taken {
        std::uint16_t result = kEmpty;
        std::uint8_t first = 0;
        std::array<std::uint8_t, kMaxPayload> payload{};
        std::size_t payloadSize = 0;
    };

    void processByte(std::uint8_t byte);
    void serialError(std::uint8_t code);
    void reset();

    std::uint16_t peek() const;
    // Nothing is checked on an empty take but the result.
    Taken take(std::uint16_t sizeLimit);

  private:
    struct Message {
        std::uint8_t id = 0;
        std::uint16_t size = 0;
        std::array<std::uint8_t, kMaxPayload> payload{};
    };

    void frameReceived();
    void searchAgain();
    void recordError(std::uint8_t kind, std::uint8_t detail);

    std::size_t index_ = 0; // 0: hunting for the sync byte
    std::size_t checksumIndex_ = 0;
    std::uint8_t checksum_ = 0;
    // The longest frame: sync, size, ID, payload, checksum.
    std::array<std::uint8_t, kMaxPayload + 4> frame_{};
    std::size_t frameSize_ = 0;
    // Oldest first from queueHead_; kept without freeing, as every input refills it.
    std::vector<Message> queue_;
    std::size_t queueHead_ = 0;
    std::uint8_t errorKind_ = 0;
    std::uint8_t errorDetail_ = 0;
};
