#pragma once

#include <cstdint>

#include "ant/usb/usb_device.h"
#include "ant/usb/usb_device_list.h"
#include "ant/usb/usb_status.h"

// An open stick seen as a byte stream with time-limited reads and writes.
// The static operations dispatch on the device kind (see usb_device_kind.h).
class USBDeviceHandle {
  public:
    virtual ~USBDeviceHandle() = default;

    virtual USBStatus Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) = 0;
    virtual USBStatus Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                           std::uint32_t timeoutMs) = 0;
    virtual const USBDevice& GetDevice() = 0;
    // Ends a Read that is waiting for bytes (it reports a time-out); kinds that
    // cannot do so leave it to the read's own time-out.
    virtual void WakeReader() {}

    // Every ANT stick of the kinds selected by the mask, in numbering order.
    static USBDeviceList<const USBDevice*> GetAllDevices(std::uint32_t typeMask = USB_DEVICE_TYPE_ALL);
    // As GetAllDevices, but only those that can be opened now.
    static USBDeviceList<const USBDevice*> GetAvailableDevices(std::uint32_t typeMask = USB_DEVICE_TYPE_ALL);
    // New heap copy in `out` if `device` is non-null and `out` is still null.
    static bool CopyDevice(USBDevice*& out, const USBDevice* device);
    // On failure `handle` is null.
    static bool Open(const USBDevice& device, USBDeviceHandle*& handle, std::uint32_t baudRate);
    // Closes, deletes and nulls the handle.
    static bool Close(USBDeviceHandle*& handle, bool reset = false);

  protected:
    USBDeviceHandle() = default;
    USBDeviceHandle(const USBDeviceHandle&) = delete;
    USBDeviceHandle& operator=(const USBDeviceHandle&) = delete;
};
