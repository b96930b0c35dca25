#pragma once

#include <cstdint>

// Result of a read or write on an open device handle.
enum class USBStatus : std::uint32_t {
    Success = 0,
    DeviceGone = 1, // removed, or the handle is closing
    InvalidParam = 2,
    Failed = 3,
    Timeout = 4,
};
