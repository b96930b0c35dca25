#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct udev_device;

// Reading sysfs attributes of a udev device. Missing or unreadable values give
// 0 or an empty text, never an error.
class UdevAttributes {
  public:
    // Hexadecimal attribute such as idVendor ("0fcf").
    static std::uint32_t Hex(udev_device* device, const char* name);
    // Decimal attribute such as busnum.
    static std::uint32_t Decimal(udev_device* device, const char* name);
    // Copies the text with its NUL into buffer; empty if missing or if it does not fit.
    static void CopyText(udev_device* device, const char* name, char* buffer, std::size_t size);
    // Value of the decimal number at the start of a serial text, cut to 32 bits; 0 if none.
    static std::uint32_t SerialNumber(const char* text);
    // The string index of the serial number in the device descriptor; 0 if none or unreadable.
    static std::uint8_t SerialStringIndex(udev_device* device);
    // The nearest USB device above (or at) a device, or null. Not referenced: it lives as long as `device`.
    static udev_device* UsbDeviceAncestor(udev_device* device);
};
