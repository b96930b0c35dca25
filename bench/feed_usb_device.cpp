#include "bench/feed_usb_device.h"

#include <cstring>

namespace draftwell::bench {

bool FeedUSBDevice::GetProductDescription(char* buffer, std::uint16_t size) const {
    static const char kDescription[] = "Feed ANT stick";
    if (size < sizeof kDescription) {
        return false;
    }
    std::memcpy(buffer, kDescription, sizeof kDescription);
    return true;
}

bool FeedUSBDevice::GetSerialString(std::uint8_t* buffer, std::uint16_t size) const {
    constexpr std::uint16_t kFieldSize = 256;
    std::memset(buffer, 0, size < kFieldSize ? size : kFieldSize);
    return size >= kFieldSize;
}

} // namespace draftwell::bench
