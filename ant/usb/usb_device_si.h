#pragma once

#include <cstdint>
#include <string>

#include "ant/usb/usb_device.h"

struct udev_device;

// A stick reached through a serial port (tty) that a kernel driver publishes,
// or a port the user named by path.
class USBDeviceSI final : public USBDevice {
  public:
    USBDeviceSI() = default;
    USBDeviceSI(const USBDeviceSI&) = default;
    USBDeviceSI& operator=(const USBDeviceSI&) = default;

    // `devicePath` is the port's node; `usbDevice` the USB device it belongs to (null if none).
    USBDeviceSI(const char* devicePath, udev_device* usbDevice, bool namedPort);

    std::uint16_t GetVid() const override { return vid_; }
    std::uint16_t GetPid() const override { return pid_; }
    std::uint32_t GetSerialNumber() const override { return serialNumber_; }
    bool GetProductDescription(char* buffer, std::uint16_t size) const override;
    bool GetSerialString(std::uint8_t* buffer, std::uint16_t size) const override;
    USBDeviceType GetDeviceType() const override { return USB_DEVICE_TYPE_SI; }
    bool USBReset() const override { return true; }

    // The port's device node.
    const char* GetBsdName() const { return devicePath_; }
    // The USB device's sysfs path; empty if the port has no USB device above it.
    const std::string& GetLocation() const { return location_; }
    // Named by the user rather than found: listed whatever its vendor.
    bool IsNamedPort() const { return namedPort_; }

  private:
    std::uint16_t vid_ = 0;
    std::uint16_t pid_ = 0;
    std::uint32_t serialNumber_ = 0;
    char devicePath_[255] = {};
    char productDescription_[256] = {};
    std::uint8_t serialString_[256] = {};
    std::string location_;
    bool namedPort_ = false;
};
