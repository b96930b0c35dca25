#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "ant/usb/usb_device.h"
#include "tests/support/memory_stick.h"

inline constexpr USBDeviceType kMemoryDeviceType = 0x200;

// Description of an in-memory stick.
class MemoryUSBDevice : public USBDevice {
  public:
    explicit MemoryUSBDevice(std::shared_ptr<MemoryStick> stick) : stick_(std::move(stick)) {}

    std::uint16_t GetVid() const override { return 0x0FCF; }
    std::uint16_t GetPid() const override { return stick_->pid(); }
    std::uint32_t GetSerialNumber() const override { return stick_->serialNumber(); }
    bool GetProductDescription(char* buffer, std::uint16_t size) const override {
        static const char kDescription[] = "Memory ANT stick";
        if (size < sizeof kDescription) {
            return false;
        }
        std::memcpy(buffer, kDescription, sizeof kDescription);
        return true;
    }
    bool GetSerialString(std::uint8_t* buffer, std::uint16_t size) const override {
        std::uint8_t field[256] = {'1', '2', '3', '4', '5'};
        std::memcpy(buffer, field, size < sizeof field ? size : sizeof field);
        return size >= sizeof field;
    }
    USBDeviceType GetDeviceType() const override { return kMemoryDeviceType; }
    bool USBReset() const override { return true; }

    const std::shared_ptr<MemoryStick>& stick() const { return stick_; }

  private:
    std::shared_ptr<MemoryStick> stick_;
};
