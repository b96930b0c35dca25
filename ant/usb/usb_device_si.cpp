#include "ant/usb/usb_device_si.h"

#include <libudev.h>

#include <algorithm>
#include <cstring>

#include "ant/usb/udev_attributes.h"

USBDeviceSI::USBDeviceSI(const char* devicePath, udev_device* usbDevice, bool namedPort)
    : namedPort_(namedPort) {
    if (devicePath != nullptr && std::strlen(devicePath) < sizeof devicePath_) {
        std::strcpy(devicePath_, devicePath);
    }
    if (usbDevice == nullptr) {
        return;
    }
    vid_ = static_cast<std::uint16_t>(UdevAttributes::Hex(usbDevice, "idVendor"));
    pid_ = static_cast<std::uint16_t>(UdevAttributes::Hex(usbDevice, "idProduct"));
    UdevAttributes::CopyText(usbDevice, "product", productDescription_, sizeof productDescription_);
    char serial[255] = {};
    UdevAttributes::CopyText(usbDevice, "serial", serial, sizeof serial);
    std::memcpy(serialString_, serial, sizeof serial);
    serialNumber_ = UdevAttributes::SerialNumber(serial);
    const char* sysPath = udev_device_get_syspath(usbDevice);
    location_ = sysPath != nullptr ? sysPath : "";
}

bool USBDeviceSI::GetProductDescription(char* buffer, std::uint16_t size) const {
    const std::size_t length = std::strlen(productDescription_);
    if (buffer == nullptr || size == 0 || length + 1 > size) {
        return false;
    }
    std::memcpy(buffer, productDescription_, length + 1);
    return true;
}

bool USBDeviceSI::GetSerialString(std::uint8_t* buffer, std::uint16_t size) const {
    if (buffer == nullptr) {
        return false;
    }
    std::memcpy(buffer, serialString_, std::min<std::size_t>(size, sizeof serialString_));
    return size >= sizeof serialString_;
}
