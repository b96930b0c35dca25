#pragma once

#include <cstdint>
#include <functional>

// One control request made on a direct-USB stick, as it ended.
struct LibusbControlRequest {
    std::uint8_t requestType;
    std::uint8_t request;
    std::uint16_t value;
    std::uint16_t index;
    const std::uint8_t* data; // sent (host to device) or received (device to host)
    std::uint32_t size;
    int result; // LibusbError::Enum
};

using LibusbControlObserver = std::function<void(const LibusbControlRequest& request)>;

// Sees every control request of every open libusb handle, on the thread that
// made it. Set or clear it only while no stick is open.
void SetLibusbControlObserver(LibusbControlObserver observer);
void NotifyLibusbControlObserver(const LibusbControlRequest& request);
