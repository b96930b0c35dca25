#include "ant/usb/usb_device_handle_libusb.h"
#include "ant/usb/usb_device_handle_si.h"
#include "ant/usb/usb_device_handle_si_libusb.h"
#include "ant/usb/usb_device_kind.h"

namespace {

constexpr std::uint16_t kAntVendorId = 0x0FCF;

// Sticks behind a kernel serial driver are recognised by their USB vendor; ports named by the user count
// whatever they are.
USBDeviceList<const USBDevice*> antPorts(const USBDeviceList<const USBDeviceSI*>& ports) {
    USBDeviceList<const USBDevice*> result;
    result.Add(ports.GetSubList([](const USBDeviceSI* const& port) {
        return port->IsNamedPort() || port->GetVid() == kAntVendorId;
    }));
    return result;
}

USBDeviceList<const USBDevice*> antSticks(const USBDeviceList<const USBDeviceLibusb*>& devices) {
    USBDeviceList<const USBDevice*> result;
    result.Add(devices.GetSubList(
        [](const USBDeviceLibusb* const& device) { return device->GetVid() == kAntVendorId; }));
    return result;
}

template <typename Device> bool copyDevice(USBDevice*& out, const USBDevice& device) {
    const auto* own = dynamic_cast<const Device*>(&device);
    if (out != nullptr || own == nullptr) {
        return false;
    }
    out = new Device(*own);
    return true;
}

} // namespace

std::vector<USBDeviceKind> USBPlatformDeviceKinds() {
    std::vector<USBDeviceKind> kinds;
    kinds.push_back({USB_DEVICE_TYPE_SI, [] { return antPorts(USBDeviceHandleSI::GetAllDevices()); },
                     [] { return antPorts(USBDeviceHandleSI::GetAvailableDevices()); },
                     &copyDevice<USBDeviceSI>, &USBDeviceHandleSI::Open, &USBDeviceHandleSI::Close});
    kinds.push_back(
        {USB_DEVICE_TYPE_SI_LIBUSB, [] { return antSticks(USBDeviceHandleSILibusb::GetAllDevices()); },
         [] { return antSticks(USBDeviceHandleSILibusb::GetAvailableDevices()); },
         &copyDevice<USBDeviceLibusb>, &USBDeviceHandleSILibusb::Open, &USBDeviceHandleSILibusb::Close});
    kinds.push_back({USB_DEVICE_TYPE_LIBUSB, [] { return antSticks(USBDeviceHandleLibusb::GetAllDevices()); },
                     [] { return antSticks(USBDeviceHandleLibusb::GetAvailableDevices()); },
                     &copyDevice<USBDeviceLibusb>, &USBDeviceHandleLibusb::Open,
                     &USBDeviceHandleLibusb::Close});
    return kinds;
}
