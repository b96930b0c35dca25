#pragma once

#include "ant/usb/usb_device_handle.h"
#include "tests/support/memory_usb_device.h"

// An open in-memory stick.
class MemoryUSBDeviceHandle : public USBDeviceHandle {
  public:
    MemoryUSBDeviceHandle(const MemoryUSBDevice& device, std::uint32_t baudRate) : device_(device) {
        device_.stick()->NoteOpened(baudRate);
    }
    ~MemoryUSBDeviceHandle() override { device_.stick()->NoteClosed(); }

    USBStatus Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) override {
        bytesWritten = 0;
        if (device_.stick()->IsGone()) {
            return USBStatus::DeviceGone;
        }
        if (data == nullptr) {
            return USBStatus::InvalidParam;
        }
        if (!device_.stick()->RecordWrite(static_cast<const std::uint8_t*>(data), size)) {
            return USBStatus::Failed;
        }
        bytesWritten = size;
        return USBStatus::Success;
    }

    USBStatus Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                   std::uint32_t timeoutMs) override {
        bytesRead = 0;
        if (device_.stick()->IsGone()) {
            return USBStatus::DeviceGone;
        }
        bytesRead = device_.stick()->PopForRead(static_cast<std::uint8_t*>(buffer), size, timeoutMs);
        return bytesRead == 0 ? USBStatus::Timeout : USBStatus::Success;
    }

    const USBDevice& GetDevice() override { return device_; }

  private:
    MemoryUSBDevice device_;
};
