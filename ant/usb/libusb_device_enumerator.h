#pragma once

#include <vector>

#include "ant/usb/libusb_device.h"
#include "ant/usb/libusb_error.h"

// The USB devices that may be driven directly: every USB device that has no
// serial port (tty) below it, since a kernel serial driver already owns those.
class LibusbDeviceEnumerator {
  public:
    // Replaces the list; on failure the list is empty.
    LibusbError::Enum Refresh();
    const std::vector<LibusbDevice>& GetDevices() const { return devices_; }

  private:
    std::vector<LibusbDevice> devices_;
};
