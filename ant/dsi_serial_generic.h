#pragma once

#include <cstdint>
#include <memory>

#include "ant/dsi_serial.h"
#include "ant/dsi_thread.h"

class USBDevice;
class USBDeviceHandle;

// Serial port to the stick chosen by number from the USB device list, with a
// receive thread that feeds the callback byte by byte.
class DSISerialGeneric : public DSISerial {
  public:
    DSISerialGeneric() = default;
    ~DSISerialGeneric() override;

    // Picks the first available stick; baud 50000 for product 0x1004, else 57600.
    bool AutoInit() override;
    // Stores the values only; a bad device number shows at Open.
    bool Init(std::uint32_t baudRate, std::uint8_t deviceNumber) override;
    std::uint32_t GetDeviceSerialNumber() override;
    bool GetDeviceUSBInfo(std::uint8_t deviceNumber, std::uint8_t* productString, std::uint8_t* serialString,
                          std::uint16_t bufferSize) override;
    bool GetDevicePID(std::uint16_t& pid) override;
    bool GetDeviceVID(std::uint16_t& vid) override;
    bool Open() override;
    // Stops the receive thread (abandoning it after 3000 ms) and closes the handle.
    void Close(bool reset = false) override;
    bool WriteBytes(const void* data, std::uint32_t size) override;
    std::uint8_t GetDeviceNumber() override;

    struct Receiver;

  private:
    static constexpr std::uint8_t kNoDevice = 255;

    DSI_THREAD_ID thread_ = nullptr;
    // Shared with the receive thread, which may outlive the port when abandoned.
    std::shared_ptr<Receiver> receiver_;
    USBDeviceHandle* handle_ = nullptr;
    USBDevice* device_ = nullptr; // set only by AutoInit
    std::uint8_t deviceNumber_ = kNoDevice;
    std::uint32_t baudRate_ = 0;
};
