#include "ant/usb/stick_baud_rate.h"

#include <algorithm>

namespace {

constexpr std::uint16_t kSlowStickProduct = 0x1004;

} // namespace

std::uint32_t DefaultBaudRate(const USBDevice& device) {
    if (device.GetPid() == kSlowStickProduct) {
        return 50000;
    }
    return device.GetDeviceType() == USB_DEVICE_TYPE_SI ? 115200 : 57600;
}

std::vector<std::uint32_t> BaudRatesToTry(std::uint32_t first) {
    std::vector<std::uint32_t> rates{first};
    for (const std::uint32_t rate : kStickBaudRates) {
        if (std::find(rates.begin(), rates.end(), rate) == rates.end()) {
            rates.push_back(rate);
        }
    }
    return rates;
}
