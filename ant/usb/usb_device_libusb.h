#pragma once

#include <cstdint>

#include "ant/usb/libusb_device.h"
#include "ant/usb/usb_device.h"
#include "ant/usb/usb_device_list.h"

// A stick reached directly over USB, with or without its bridge chip.
class USBDeviceLibusb final : public USBDevice {
  public:
    USBDeviceLibusb() = default;
    explicit USBDeviceLibusb(const LibusbDevice& device);
    USBDeviceLibusb(const USBDeviceLibusb&) = default;
    USBDeviceLibusb& operator=(const USBDeviceLibusb&) = default;

    std::uint16_t GetVid() const override { return vid_; }
    std::uint16_t GetPid() const override { return pid_; }
    std::uint32_t GetSerialNumber() const override { return serialNumber_; }
    bool GetProductDescription(char* buffer, std::uint16_t size) const override;
    bool GetSerialString(std::uint8_t* buffer, std::uint16_t size) const override;
    // The bridge-chip kind for product IDs 0x1004 and 0x1006, direct USB for the rest.
    USBDeviceType GetDeviceType() const override;
    bool USBReset() const override { return true; }

    const LibusbDevice& GetLibusbDevice() const { return device_; }
    // True if size is at most 256; copies at most 256 bytes.
    bool SetSerialString(const std::uint8_t* buffer, std::uint32_t size);

    // Empties `table`, fills it with every USB device that may be driven directly, and lists pointers into
    // it.
    static USBDeviceList<const USBDeviceLibusb*> RefillTable(USBDeviceList<const USBDeviceLibusb>& table);
    // The devices of `devices` that can be opened at this moment (each is opened and closed again).
    static USBDeviceList<const USBDeviceLibusb*>
    Openable(const USBDeviceList<const USBDeviceLibusb*>& devices);

  private:
    LibusbDevice device_;
    std::uint16_t vid_ = 0;
    std::uint16_t pid_ = 0;
    std::uint32_t serialNumber_ = 0;
    char productDescription_[256] = {};
    std::uint8_t serialString_[256] = {};
};
