#pragma once

#include <cstdint>

#include "ant/dsi_serial_callback.h"

// An abstract serial port to the stick.
class DSISerial {
  public:
    virtual ~DSISerial() = default;

    virtual bool AutoInit() = 0;
    virtual bool Init(std::uint32_t baudRate, std::uint8_t deviceNumber) = 0;
    virtual std::uint32_t GetDeviceSerialNumber() = 0;
    virtual bool GetDeviceUSBInfo(std::uint8_t /*deviceNumber*/, std::uint8_t* /*productString*/,
                                  std::uint8_t* /*serialString*/, std::uint16_t /*bufferSize*/) {
        return false;
    }
    virtual bool GetDevicePID(std::uint16_t& /*pid*/) { return false; }
    virtual bool GetDeviceVID(std::uint16_t& /*vid*/) { return false; }
    virtual void SetCallback(DSISerialCallback* callback) { callback_ = callback; }
    virtual bool Open() = 0;
    virtual void Close(bool reset = false) = 0;
    virtual bool WriteBytes(const void* data, std::uint32_t size) = 0;
    virtual std::uint8_t GetDeviceNumber() = 0;

  protected:
    DSISerial() = default;
    DSISerial(const DSISerial&) = delete;
    DSISerial& operator=(const DSISerial&) = delete;

    DSISerialCallback* callback_ = nullptr; // not owned
};
