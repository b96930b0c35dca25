#include "ant/usb/usb_device_libusb.h"

#include <algorithm>
#include <cstring>

#include "ant/usb/libusb_device_enumerator.h"
#include "ant/usb/libusb_device_handle.h"

USBDeviceLibusb::USBDeviceLibusb(const LibusbDevice& device)
    : device_(device), vid_(device.GetVid()), pid_(device.GetPid()), serialNumber_(device.GetSerialNumber()) {
    std::memcpy(productDescription_, device.GetProductName(), sizeof productDescription_);
    productDescription_[sizeof productDescription_ - 1] = '\0';
    std::memcpy(serialString_, device.GetSerialString(), sizeof serialString_);
}

bool USBDeviceLibusb::GetProductDescription(char* buffer, std::uint16_t size) const {
    const std::size_t length = std::strlen(productDescription_);
    if (buffer == nullptr || size == 0 || length + 1 > size) {
        return false;
    }
    std::memcpy(buffer, productDescription_, length + 1);
    return true;
}

bool USBDeviceLibusb::GetSerialString(std::uint8_t* buffer, std::uint16_t size) const {
    if (buffer == nullptr) {
        return false;
    }
    std::memcpy(buffer, serialString_, std::min<std::size_t>(size, sizeof serialString_));
    return size >= sizeof serialString_;
}

USBDeviceType USBDeviceLibusb::GetDeviceType() const {
    return (pid_ & 0xFFFDu) == 0x1004u ? USB_DEVICE_TYPE_SI_LIBUSB : USB_DEVICE_TYPE_LIBUSB;
}

bool USBDeviceLibusb::SetSerialString(const std::uint8_t* buffer, std::uint32_t size) {
    if (buffer == nullptr) {
        return false;
    }
    std::memcpy(serialString_, buffer, std::min<std::size_t>(size, sizeof serialString_));
    return size <= sizeof serialString_;
}

USBDeviceList<const USBDeviceLibusb*>
USBDeviceLibusb::RefillTable(USBDeviceList<const USBDeviceLibusb>& table) {
    table.Clear();
    USBDeviceList<const USBDeviceLibusb*> result;
    LibusbDeviceEnumerator enumerator;
    if (enumerator.Refresh() != LibusbError::Success) {
        return result;
    }
    for (const LibusbDevice& device : enumerator.GetDevices()) {
        table.Add(USBDeviceLibusb(device));
        result.Add(table.GetAddress(table.GetSize() - 1));
    }
    return result;
}

USBDeviceList<const USBDeviceLibusb*>
USBDeviceLibusb::Openable(const USBDeviceList<const USBDeviceLibusb*>& devices) {
    return devices.GetSubList([](const USBDeviceLibusb* const& device) {
        LibusbDeviceHandle* probe = nullptr;
        if (LibusbDeviceHandle::Open(device->GetLibusbDevice(), probe) != LibusbError::Success) {
            return false;
        }
        LibusbDeviceHandle::Close(probe);
        return true;
    });
}
