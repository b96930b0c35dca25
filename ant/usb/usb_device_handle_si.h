#pragma once

#include <termios.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "ant/ts_queue.h"
#include "ant/usb/udev_removal_watch.h"
#include "ant/usb/usb_device_handle.h"
#include "ant/usb/usb_device_si.h"

// An open stick behind a kernel serial driver (or a port named by path), used
// as a raw serial port with hardware flow control.
class USBDeviceHandleSI final : public USBDeviceHandle {
  public:
    // Ports to list first, in this order, whatever they are (e.g. a pseudo-terminal). Set before enumerating.
    static void SetNamedPorts(std::vector<std::string> paths);
    static std::vector<std::string> GetNamedPorts();

    // The named ports, then every tty that belongs to a USB device. Pointers stay valid until the next
    // enumeration.
    static USBDeviceList<const USBDeviceSI*> GetAllDevices();
    // Those whose port can be opened now.
    static USBDeviceList<const USBDeviceSI*> GetAvailableDevices();
    // False and a null handle unless `device` is a USBDeviceSI whose port opens at `baudRate`.
    static bool Open(const USBDevice& device, USBDeviceHandle*& handle, std::uint32_t baudRate);
    static bool Close(USBDeviceHandle*& handle, bool reset = false);

    ~USBDeviceHandleSI() override;

    USBStatus Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) override;
    void WakeReader() override { queue_.Wake(); }
    USBStatus Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                   std::uint32_t timeoutMs) override;
    const USBDevice& GetDevice() override { return device_; }

  private:
    USBDeviceHandleSI(const USBDeviceSI& device, std::uint32_t baudRate)
        : device_(device), baudRate_(baudRate) {}
    bool OpenPort();
    void ClosePort();
    void Receive();
    // Lets queued output reach the stick, within a bound, before the port closes.
    void DrainOutput();

    TSQueue<char> queue_;
    std::thread receiveThread_;
    int wakeFd_ = -1;
    std::atomic<bool> stop_{false};
    int fd_ = -1;
    termios savedSettings_{};
    USBDeviceSI device_;
    std::uint32_t baudRate_;
    // Set from construction until opened, and again from the start of closing.
    std::atomic<bool> gone_{true};
    UdevRemovalWatch removalWatch_;
};
