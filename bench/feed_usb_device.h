#pragma once

#include <memory>

#include "ant/usb/usb_device.h"
#include "bench/feed_stick.h"

namespace draftwell::bench {

inline constexpr USBDeviceType kFeedDeviceType = 0x800;

// Description of a feed stick.
class FeedUSBDevice final : public USBDevice {
  public:
    explicit FeedUSBDevice(std::shared_ptr<FeedStick> stick) : stick_(std::move(stick)) {}
    std::uint16_t GetVid() const override { return 0x0FCF; }
    std::uint16_t GetPid() const override { return 0x1009; }
    std::uint32_t GetSerialNumber() const override { return 1; }
    bool GetProductDescription(char* buffer, std::uint16_t size) const override;
    bool GetSerialString(std::uint8_t* buffer, std::uint16_t size) const override;
    USBDeviceType GetDeviceType() const override { return kFeedDeviceType; }
    bool USBReset() const override { return true; }
    const std::shared_ptr<FeedStick>& stick() const { return stick_; }

  private:
    std::shared_ptr<FeedStick> stick_;
};

} // namespace draftwell::bench
