#pragma once

#include <cstdint>

#include "ant/usb/libusb_stick_port.h"
#include "ant/usb/usb_device_handle.h"
#include "ant/usb/usb_device_libusb.h"

// An open stick that speaks ANT directly over its bulk endpoints.
class USBDeviceHandleLibusb final : public USBDeviceHandle {
  public:
    // Every USB device that may be driven directly; pointers stay valid until the next enumeration.
    static USBDeviceList<const USBDeviceLibusb*> GetAllDevices();
    // Those that can be opened now.
    static USBDeviceList<const USBDeviceLibusb*> GetAvailableDevices();
    // False and a null handle unless `device` is a USBDeviceLibusb that opens. The baud rate is not used.
    static bool Open(const USBDevice& device, USBDeviceHandle*& handle, std::uint32_t baudRate);
    // False if the handle is null or not of this class.
    static bool Close(USBDeviceHandle*& handle, bool reset = false);

    ~USBDeviceHandleLibusb() override;

    USBStatus Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) override;
    void WakeReader() override { port_.WakeReader(); }
    USBStatus Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                   std::uint32_t timeoutMs) override;
    const USBDevice& GetDevice() override { return device_; }

  private:
    explicit USBDeviceHandleLibusb(const USBDeviceLibusb& device) : device_(device) {}

    USBDeviceLibusb device_;
    LibusbStickPort port_;
};
