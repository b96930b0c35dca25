#pragma once

#include <cstdint>

#include "ant/ant_message.h"
#include "ant/dsi_serial.h"
#include "ant/dsi_serial_callback.h"

// Results of WaitForMessage and GetMessage besides a payload size of 0 to 41.
inline constexpr std::uint16_t DSI_FRAMER_EMPTY = 0xFFFE; // nothing queued, or the wait timed out
inline constexpr std::uint16_t DSI_FRAMER_ERROR = 0xFFFF; // an error report, or an unusable message

// Turns messages into frames for a serial port and received bytes back into messages.
class DSIFramer : public DSISerialCallback {
  public:
    ~DSIFramer() override = default;

    virtual bool WriteMessage(const ANT_MESSAGE& message, std::uint16_t payloadSize) = 0;
    // Size of the next queued message without taking it, waiting up to timeoutMs for one.
    virtual std::uint16_t WaitForMessage(std::uint32_t timeoutMs) = 0;
    // Takes the next message, or reports the pending error. Never waits. sizeLimit 0: none.
    virtual std::uint16_t GetMessage(ANT_MESSAGE* destination, std::uint16_t sizeLimit = 0) = 0;

  protected:
    explicit DSIFramer(DSISerial* serial) : serial_(serial) {}

    DSISerial* serial_ = nullptr; // not owned
};
