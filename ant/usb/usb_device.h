#pragma once

#include <cstdint>

// Device kind codes; also used as bits of a type mask.
using USBDeviceType = std::uint32_t;

inline constexpr USBDeviceType USB_DEVICE_TYPE_SI = 1;        // serial-port driver
inline constexpr USBDeviceType USB_DEVICE_TYPE_LIBUSB = 4;    // direct USB
inline constexpr USBDeviceType USB_DEVICE_TYPE_SI_LIBUSB = 8; // bridge chip driven over USB
inline constexpr USBDeviceType USB_DEVICE_TYPE_ALL = 0xFFFFFFFFu;

// Description of one attached stick.
class USBDevice {
  public:
    virtual ~USBDevice() = default;

    virtual std::uint16_t GetVid() const = 0;
    virtual std::uint16_t GetPid() const = 0;
    virtual std::uint32_t GetSerialNumber() const = 0;
    // False (nothing copied) if size is 0 or the text with its NUL does not fit.
    virtual bool GetProductDescription(char* buffer, std::uint16_t size) const = 0;
    // Copies the 256-byte serial field cut to size; true only if size >= 256.
    virtual bool GetSerialString(std::uint8_t* buffer, std::uint16_t size) const = 0;
    virtual USBDeviceType GetDeviceType() const = 0;
    virtual bool USBReset() const = 0;

  protected:
    USBDevice() = default;
    USBDevice(const USBDevice&) = default;
    USBDevice& operator=(const USBDevice&) = default;
};
