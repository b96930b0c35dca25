#include "ant/usb/usb_device_handle_libusb.h"

#include <new>

#include "ant/usb/libusb_device_handle.h"

namespace {

USBDeviceList<const USBDeviceLibusb>& deviceTable() {
    static USBDeviceList<const USBDeviceLibusb> table;
    return table;
}

// ANT request for the capabilities message: wakes the stick's USB side and is answered harmlessly.
constexpr std::uint8_t kWakeUp[] = {0xA4, 0x02, 0x4D, 0x00, 0x54, 0xBF};
constexpr std::uint32_t kWakeUpReadSize = 44;
constexpr std::uint32_t kWakeUpReadTimeoutMs = 10;

} // namespace

USBDeviceList<const USBDeviceLibusb*> USBDeviceHandleLibusb::GetAllDevices() {
    return USBDeviceLibusb::RefillTable(deviceTable());
}

USBDeviceList<const USBDeviceLibusb*> USBDeviceHandleLibusb::GetAvailableDevices() {
    return USBDeviceLibusb::Openable(GetAllDevices());
}

bool USBDeviceHandleLibusb::Open(const USBDevice& device, USBDeviceHandle*& handle, std::uint32_t) {
    handle = nullptr;
    const auto* stick = dynamic_cast<const USBDeviceLibusb*>(&device);
    if (stick == nullptr) {
        return false;
    }
    auto* opened = new (std::nothrow) USBDeviceHandleLibusb(*stick);
    if (opened == nullptr) {
        return false;
    }
    if (!opened->port_.Open(opened->device_, nullptr)) {
        delete opened;
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        std::uint32_t written = 0;
        opened->Write(kWakeUp, sizeof kWakeUp, written);
    }
    for (int i = 0; i < 2; ++i) {
        std::uint8_t discard[kWakeUpReadSize];
        std::uint32_t read = 0;
        opened->Read(discard, sizeof discard, read, kWakeUpReadTimeoutMs);
    }
    handle = opened;
    return true;
}

bool USBDeviceHandleLibusb::Close(USBDeviceHandle*& handle, bool) {
    auto* own = dynamic_cast<USBDeviceHandleLibusb*>(handle);
    if (own == nullptr) {
        return false;
    }
    delete own;
    handle = nullptr;
    return true;
}

USBDeviceHandleLibusb::~USBDeviceHandleLibusb() {
    port_.Close(nullptr);
}

USBStatus USBDeviceHandleLibusb::Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) {
    return port_.Write(data, size, bytesWritten);
}

USBStatus USBDeviceHandleLibusb::Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                                      std::uint32_t timeoutMs) {
    return port_.Read(buffer, size, bytesRead, timeoutMs);
}
