#include "ant/usb/usb_device_handle.h"

#include <optional>

#include "ant/usb/usb_device_kind.h"

namespace {

std::optional<std::vector<USBDeviceKind>>& kindTable() {
    static std::optional<std::vector<USBDeviceKind>> table;
    return table;
}

const USBDeviceKind* findKind(std::uint32_t type) {
    for (const USBDeviceKind& kind : GetUSBDeviceKinds()) {
        if (kind.type == type) {
            return &kind;
        }
    }
    return nullptr;
}

} // namespace

void SetUSBDeviceKinds(std::vector<USBDeviceKind> kinds) {
    kindTable() = std::move(kinds);
}

const std::vector<USBDeviceKind>& GetUSBDeviceKinds() {
    std::optional<std::vector<USBDeviceKind>>& table = kindTable();
    if (!table) {
        table = USBPlatformDeviceKinds();
    }
    return *table;
}

USBDeviceList<const USBDevice*> USBDeviceHandle::GetAllDevices(std::uint32_t typeMask) {
    USBDeviceList<const USBDevice*> result;
    for (const USBDeviceKind& kind : GetUSBDeviceKinds()) {
        if ((kind.type & typeMask) != 0 && kind.getAllDevices) {
            result.Add(kind.getAllDevices());
        }
    }
    return result;
}

USBDeviceList<const USBDevice*> USBDeviceHandle::GetAvailableDevices(std::uint32_t typeMask) {
    USBDeviceList<const USBDevice*> result;
    for (const USBDeviceKind& kind : GetUSBDeviceKinds()) {
        if ((kind.type & typeMask) != 0 && kind.getAvailableDevices) {
            result.Add(kind.getAvailableDevices());
        }
    }
    return result;
}

bool USBDeviceHandle::CopyDevice(USBDevice*& out, const USBDevice* device) {
    if (device == nullptr || out != nullptr) {
        return false;
    }
    const USBDeviceKind* kind = findKind(device->GetDeviceType());
    if (kind == nullptr || !kind->copyDevice) {
        return false;
    }
    return kind->copyDevice(out, *device);
}

bool USBDeviceHandle::Open(const USBDevice& device, USBDeviceHandle*& handle, std::uint32_t baudRate) {
    handle = nullptr;
    const USBDeviceKind* kind = findKind(device.GetDeviceType());
    if (kind == nullptr || !kind->open) {
        return false;
    }
    if (!kind->open(device, handle, baudRate)) {
        handle = nullptr;
        return false;
    }
    return handle != nullptr;
}

bool USBDeviceHandle::Close(USBDeviceHandle*& handle, bool reset) {
    if (handle == nullptr) {
        return false;
    }
    const USBDeviceKind* kind = findKind(handle->GetDevice().GetDeviceType());
    if (kind == nullptr || !kind->close) {
        handle = nullptr;
        return false;
    }
    const bool closed = kind->close(handle, reset);
    handle = nullptr;
    return closed;
}
