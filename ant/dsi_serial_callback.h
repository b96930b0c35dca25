#pragma once

#include <cstdint>

// Transport error codes handed to DSISerialCallback::Error.
inline constexpr std::uint8_t DSI_SERIAL_EDEVICE_GONE = 1;
inline constexpr std::uint8_t DSI_SERIAL_EWRITE = 2;
inline constexpr std::uint8_t DSI_SERIAL_EREAD = 3;

// Receives every byte read from the stick and every transport error, on the
// transport's receive thread (Error also on a thread whose write failed).
class DSISerialCallback {
  public:
    virtual ~DSISerialCallback() = default;
    virtual void ProcessByte(std::uint8_t byte) = 0;
    virtual void Error(std::uint8_t errorCode) = 0;

  protected:
    DSISerialCallback() = default;
    DSISerialCallback(const DSISerialCallback&) = default;
    DSISerialCallback& operator=(const DSISerialCallback&) = default;
};
