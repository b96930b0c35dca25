#include "ant/usb/libusb_error.h"

LibusbError::Enum LibusbError::FromLibusb(int code) {
    if (code > 0) {
        return Success; // counts of bytes or devices
    }
    if (code >= NoMemory || code == Other) {
        return static_cast<Enum>(code);
    }
    return Other;
}
