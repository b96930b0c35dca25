#include "tests/support/memory_device_kind.h"

#include "tests/support/memory_usb_device.h"
#include "tests/support/memory_usb_device_handle.h"

USBDeviceKind MakeMemoryDeviceKind(std::vector<std::shared_ptr<MemoryStick>> sticks) {
    // The device table lives as long as the kind, like a platform kind's table.
    auto table = std::make_shared<std::vector<MemoryUSBDevice>>();
    for (auto& stick : sticks) {
        table->emplace_back(stick);
    }

    USBDeviceKind kind;
    kind.type = kMemoryDeviceType;
    kind.getAllDevices = [table] {
        USBDeviceList<const USBDevice*> list;
        for (const MemoryUSBDevice& device : *table) {
            list.Add(&device);
        }
        return list;
    };
    kind.getAvailableDevices = [table] {
        USBDeviceList<const USBDevice*> list;
        for (const MemoryUSBDevice& device : *table) {
            if (device.stick()->IsOpenable()) {
                list.Add(&device);
            }
        }
        return list;
    };
    kind.copyDevice = [](USBDevice*& out, const USBDevice& device) {
        out = new MemoryUSBDevice(static_cast<const MemoryUSBDevice&>(device));
        return true;
    };
    kind.open = [](const USBDevice& device, USBDeviceHandle*& handle, std::uint32_t baudRate) {
        const auto& memoryDevice = static_cast<const MemoryUSBDevice&>(device);
        if (!memoryDevice.stick()->IsOpenable()) {
            handle = nullptr;
            return false;
        }
        handle = new MemoryUSBDeviceHandle(memoryDevice, baudRate);
        return true;
    };
    kind.close = [](USBDeviceHandle*& handle, bool) {
        delete handle;
        handle = nullptr;
        return true;
    };
    return kind;
}
