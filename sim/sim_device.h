#pragma once

#include <array>
#include <cstdint>

#include "ant/usb/usb_device.h"

namespace antsim {

// Device type code of the in-process virtual stick.
inline constexpr USBDeviceType kSimDeviceType = 0x100;

// The virtual stick as the USB layer lists it.
class SimDevice final : public USBDevice {
  public:
    SimDevice();
    SimDevice(const SimDevice&) = default;
    SimDevice& operator=(const SimDevice&) = default;

    std::uint16_t GetVid() const override { return 0x0FCF; }
    std::uint16_t GetPid() const override { return 0x1009; }
    std::uint32_t GetSerialNumber() const override { return 0x0051AD00; }
    bool GetProductDescription(char* buffer, std::uint16_t size) const override;
    bool GetSerialString(std::uint8_t* buffer, std::uint16_t size) const override;
    USBDeviceType GetDeviceType() const override { return kSimDeviceType; }
    bool USBReset() const override { return true; }

  private:
    std::array<std::uint8_t, 256> serial_{};
};

} // namespace antsim
