#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "ant/ts_queue.h"
#include "ant/usb/libusb_device_handle.h"
#include "ant/usb/usb_device_libusb.h"
#include "ant/usb/usb_status.h"

// The byte stream of a stick driven directly over USB: the open device, a
// receive thread that keeps one bulk read outstanding, and the queue it fills.
// Shared by both direct kinds, which differ only in what they send around it.
class LibusbStickPort {
  public:
    using Configure = std::function<bool(LibusbDeviceHandle& device)>;
    using BeforeClose = std::function<void(LibusbDeviceHandle& device)>;

    LibusbStickPort() = default;
    ~LibusbStickPort();
    LibusbStickPort(const LibusbStickPort&) = delete;
    LibusbStickPort& operator=(const LibusbStickPort&) = delete;

    // Opens the device, runs `configure` (may be empty), reads the serial string into `device`, claims
    // interface 0 and starts the receive thread. On failure everything is released again.
    bool Open(USBDeviceLibusb& device, const Configure& configure);
    // `beforeClose` runs only while the device is still there. Safe to call more than once.
    void Close(const BeforeClose& beforeClose);

    void WakeReader() { queue_.Wake(); }
    USBStatus Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead, std::uint32_t timeoutMs);
    USBStatus Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten);
    bool IsGone() const { return gone_.load(); }

  private:
    void Receive();
    // Waits briefly before retrying a failed read; returns at once when asked to stop.
    void BackOff();

    TSQueue<char> queue_;
    std::thread receiveThread_;
    std::mutex stopMutex_;
    std::condition_variable stopChanged_;
    std::atomic<bool> stop_{false};
    LibusbDeviceHandle* device_ = nullptr;
    // Set from construction until opened, and again from the start of closing.
    std::atomic<bool> gone_{true};
};
