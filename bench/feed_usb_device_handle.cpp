#include "bench/feed_usb_device_handle.h"

#include <cstdint>

namespace draftwell::bench {

USBStatus FeedUSBDeviceHandle::Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) {
    bytesWritten = data == nullptr ? 0 : size;
    return data == nullptr ? USBStatus::InvalidParam : USBStatus::Success;
}

USBStatus FeedUSBDeviceHandle::Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                                    std::uint32_t timeoutMs) {
    bytesRead = device_.stick()->read(static_cast<std::uint8_t*>(buffer), size, timeoutMs);
    return bytesRead == 0 ? USBStatus::Timeout : USBStatus::Success;
}

} // namespace draftwell::bench
