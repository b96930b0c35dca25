#pragma once

#include <cstdint>

// Result codes of the libusb access layer. The values match libusb's own error
// numbers, so a libusb result maps onto itself.
struct LibusbError {
    enum Enum : std::int32_t {
        Success = 0,
        IoError = -1,
        InvalidParam = -2,
        Access = -3,
        NoDevice = -4,
        NotFound = -5,
        Busy = -6,
        Timeout = -7,
        Overflow = -8,
        Pipe = -9,
        Interrupted = -10,
        NoMemory = -11,
        Other = -99,
    };

    // A libusb_error value (or any other int); unknown values become Other.
    static Enum FromLibusb(int code);
};
