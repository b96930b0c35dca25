#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "ant/usb/usb_device.h"
#include "ant/usb/usb_device_handle.h"
#include "ant/usb/usb_device_list.h"

// One way a stick can reach the program. The static operations of
// USBDeviceHandle dispatch through a table of these.
struct USBDeviceKind {
    std::uint32_t type; // 1, 4, 8, or a kind of our own such as the virtual stick's
    std::function<USBDeviceList<const USBDevice*>()> getAllDevices;       // already filtered to ANT sticks
    std::function<USBDeviceList<const USBDevice*>()> getAvailableDevices; // idem, only those openable now
    std::function<bool(USBDevice*& out, const USBDevice& device)> copyDevice;
    std::function<bool(const USBDevice& device, USBDeviceHandle*& handle, std::uint32_t baud)> open;
    std::function<bool(USBDeviceHandle*& handle, bool reset)> close;
};

// Replaces the table; call before any device is opened (start-up or test set-up), never concurrently with
// use.
void SetUSBDeviceKinds(std::vector<USBDeviceKind> kinds);
// The table in numbering order: the platform kinds until SetUSBDeviceKinds is called.
const std::vector<USBDeviceKind>& GetUSBDeviceKinds();
// Linux kinds in numbering order: serial-port sticks (1), bridge chip over libusb (8), direct USB over libusb
// (4).
std::vector<USBDeviceKind> USBPlatformDeviceKinds();
