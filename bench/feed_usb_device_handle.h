#pragma once

#include "ant/usb/usb_device_handle.h"
#include "bench/feed_usb_device.h"

namespace draftwell::bench {

// An open feed stick.
class FeedUSBDeviceHandle final : public USBDeviceHandle {
  public:
    explicit FeedUSBDeviceHandle(const FeedUSBDevice& device) : device_(device) {}
    USBStatus Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) override;
    USBStatus Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                   std::uint32_t timeoutMs) override;
    const USBDevice& GetDevice() override { return device_; }

  private:
    FeedUSBDevice device_;
};

} // namespace draftwell::bench
