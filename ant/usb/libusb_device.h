#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct udev_device;

// One USB device as udev lists it: what is needed to find it again through
// libusb (bus number, address) and to describe it.
class LibusbDevice {
  public:
    LibusbDevice() = default;

    // Null, or not a USB device: nothing.
    static std::optional<LibusbDevice> FromUdev(udev_device* usbDevice);

    std::uint16_t GetAddress() const { return address_; }
    std::uint16_t GetBusNumber() const { return busNumber_; }
    std::uint16_t GetConfigurationCount() const { return configurationCount_; }
    std::uint32_t GetSerialNumber() const { return serialNumber_; }
    const char* GetProductName() const { return productName_; }
    const std::uint8_t* GetSerialString() const { return serialString_; }
    std::uint16_t GetVid() const { return vid_; }
    std::uint16_t GetPid() const { return pid_; }
    std::uint8_t GetSerialStringIndex() const { return serialStringIndex_; }
    const char* GetDeviceName() const { return deviceName_; }
    // The USB device's sysfs path: it names the physical slot.
    const std::string& GetLocation() const { return location_; }

  private:
    std::uint16_t address_ = 0;
    std::uint16_t busNumber_ = 0;
    std::uint16_t configurationCount_ = 0;
    std::uint32_t serialNumber_ = 0;
    char productName_[256] = {};
    std::uint8_t serialString_[256] = {};
    std::uint16_t vid_ = 0;
    std::uint16_t pid_ = 0;
    std::uint8_t serialStringIndex_ = 0;
    char deviceName_[21] = {};
    std::string location_;
};
