#pragma once

#include <memory>

#include "ant/usb/stick_replay.h"
#include "ant/usb/usb_device_kind.h"

// Device type code of a recording played back as the stick.
inline constexpr USBDeviceType USB_DEVICE_TYPE_REPLAY = 0x200;

// A device kind that lists one stick, described as the recording's next open
// describes it, while the recording has an open left and none is running.
USBDeviceKind ReplayDeviceKind(std::shared_ptr<StickReplay> replay);
