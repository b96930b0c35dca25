#include "ant/usb/libusb_device.h"

#include <libudev.h>

#include <cstdio>
#include <cstring>

#include "ant/usb/udev_attributes.h"

std::optional<LibusbDevice> LibusbDevice::FromUdev(udev_device* usbDevice) {
    if (usbDevice == nullptr || UdevAttributes::UsbDeviceAncestor(usbDevice) != usbDevice) {
        return std::nullopt;
    }
    LibusbDevice device;
    device.address_ = static_cast<std::uint16_t>(UdevAttributes::Decimal(usbDevice, "devnum"));
    device.busNumber_ = static_cast<std::uint16_t>(UdevAttributes::Decimal(usbDevice, "busnum"));
    device.configurationCount_ =
        static_cast<std::uint16_t>(UdevAttributes::Decimal(usbDevice, "bNumConfigurations"));
    UdevAttributes::CopyText(usbDevice, "product", device.productName_, sizeof device.productName_);
    device.vid_ = static_cast<std::uint16_t>(UdevAttributes::Hex(usbDevice, "idVendor"));
    device.pid_ = static_cast<std::uint16_t>(UdevAttributes::Hex(usbDevice, "idProduct"));
    device.serialStringIndex_ = UdevAttributes::SerialStringIndex(usbDevice);

    // The kernel offers "serial" only when the device names a serial-number string.
    char serial[256] = {};
    UdevAttributes::CopyText(usbDevice, "serial", serial, sizeof serial);
    if (udev_device_get_sysattr_value(usbDevice, "serial") != nullptr) {
        std::memcpy(device.serialString_, serial, sizeof device.serialString_);
        device.serialNumber_ = UdevAttributes::SerialNumber(serial);
    }

    std::snprintf(device.deviceName_, sizeof device.deviceName_, "%03u-%04x-%04x-%02x-%02x",
                  static_cast<unsigned>(device.address_ % 1000u), static_cast<unsigned>(device.vid_),
                  static_cast<unsigned>(device.pid_),
                  static_cast<unsigned>(UdevAttributes::Hex(usbDevice, "bDeviceClass") & 0xFFu),
                  static_cast<unsigned>(UdevAttributes::Hex(usbDevice, "bDeviceSubClass") & 0xFFu));
    const char* sysPath = udev_device_get_syspath(usbDevice);
    device.location_ = sysPath != nullptr ? sysPath : "";
    return device;
}
