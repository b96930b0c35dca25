#pragma once

#include <cstdint>

#include "ant/usb/libusb_stick_port.h"
#include "ant/usb/usb_device_handle.h"
#include "ant/usb/usb_device_libusb.h"

// An open stick whose CP210x USB-to-UART bridge chip no kernel driver owns: the
// chip is set up with vendor requests and its bulk endpoints carry the bytes.
class USBDeviceHandleSILibusb final : public USBDeviceHandle {
  public:
    static USBDeviceList<const USBDeviceLibusb*> GetAllDevices();
    static USBDeviceList<const USBDeviceLibusb*> GetAvailableDevices();
    // False and a null handle unless `device` is a USBDeviceLibusb that opens at this baud rate (not 0).
    static bool Open(const USBDevice& device, USBDeviceHandle*& handle, std::uint32_t baudRate);
    static bool Close(USBDeviceHandle*& handle, bool reset = false);

    // The chip's baud-rate divisor request value.
    static std::uint16_t BaudRateDivisor(std::uint32_t baudRate);

    ~USBDeviceHandleSILibusb() override;

    USBStatus Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) override;
    void WakeReader() override { port_.WakeReader(); }
    USBStatus Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                   std::uint32_t timeoutMs) override;
    const USBDevice& GetDevice() override { return device_; }

  private:
    USBDeviceHandleSILibusb(const USBDeviceLibusb& device, std::uint32_t baudRate)
        : baudRate_(baudRate), device_(device) {}
    bool Configure(LibusbDeviceHandle& device) const;
    static void Quiesce(LibusbDeviceHandle& device);

    std::uint32_t baudRate_;
    USBDeviceLibusb device_;
    LibusbStickPort port_;
};
