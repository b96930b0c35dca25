#include "bench/feed_device_kind.h"

#include "bench/feed_usb_device.h"
#include "bench/feed_usb_device_handle.h"

namespace draftwell::bench {

USBDeviceKind feedDeviceKind(std::shared_ptr<FeedStick> stick) {
    // Listed pointers stay valid as long as the kind is installed.
    auto device = std::make_shared<FeedUSBDevice>(std::move(stick));
    USBDeviceKind kind;
    kind.type = kFeedDeviceType;
    const auto list = [device] {
        USBDeviceList<const USBDevice*> devices;
        devices.Add(device.get());
        return devices;
    };
    kind.getAllDevices = list;
    kind.getAvailableDevices = list;
    kind.copyDevice = [](USBDevice*& out, const USBDevice& from) {
        out = new FeedUSBDevice(static_cast<const FeedUSBDevice&>(from));
        return true;
    };
    kind.open = [](const USBDevice& from, USBDeviceHandle*& handle, std::uint32_t) {
        handle = new FeedUSBDeviceHandle(static_cast<const FeedUSBDevice&>(from));
        return true;
    };
    kind.close = [](USBDeviceHandle*& handle, bool) {
        delete handle;
        handle = nullptr;
        return true;
    };
    return kind;
}

} // namespace draftwell::bench
