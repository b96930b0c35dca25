#include "ant/usb/libusb_device_enumerator.h"

#include <libudev.h>

#include <memory>
#include <set>
#include <string>

#include "ant/usb/udev_attributes.h"

namespace {

struct UdevUnref {
    void operator()(udev* context) const { udev_unref(context); }
    void operator()(udev_enumerate* enumeration) const { udev_enumerate_unref(enumeration); }
    void operator()(udev_device* device) const { udev_device_unref(device); }
};

std::unique_ptr<udev_enumerate, UdevUnref> scan(udev* context, const char* subsystem, const char* devType) {
    std::unique_ptr<udev_enumerate, UdevUnref> enumeration(udev_enumerate_new(context));
    if (!enumeration || udev_enumerate_add_match_subsystem(enumeration.get(), subsystem) < 0 ||
        (devType != nullptr &&
         udev_enumerate_add_match_property(enumeration.get(), "DEVTYPE", devType) < 0) ||
        udev_enumerate_scan_devices(enumeration.get()) < 0) {
        return nullptr;
    }
    return enumeration;
}

} // namespace

LibusbError::Enum LibusbDeviceEnumerator::Refresh() {
    devices_.clear();
    std::unique_ptr<udev, UdevUnref> context(udev_new());
    if (!context) {
        return LibusbError::NoMemory;
    }
    auto ttys = scan(context.get(), "tty", nullptr);
    auto usbDevices = scan(context.get(), "usb", "usb_device");
    if (!ttys || !usbDevices) {
        return LibusbError::Other;
    }

    std::set<std::string> ownedBySerialDriver;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(ttys.get())) {
        std::unique_ptr<udev_device, UdevUnref> tty(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        udev_device* usbDevice = UdevAttributes::UsbDeviceAncestor(tty.get());
        const char* usbPath = usbDevice != nullptr ? udev_device_get_syspath(usbDevice) : nullptr;
        if (usbPath != nullptr) {
            ownedBySerialDriver.insert(usbPath);
        }
    }

    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(usbDevices.get())) {
        const char* path = udev_list_entry_get_name(entry);
        if (path == nullptr || ownedBySerialDriver.count(path) != 0) {
            continue;
        }
        std::unique_ptr<udev_device, UdevUnref> usbDevice(udev_device_new_from_syspath(context.get(), path));
        if (auto device = LibusbDevice::FromUdev(usbDevice.get())) {
            devices_.push_back(std::move(*device));
        }
    }
    return LibusbError::Success;
}
