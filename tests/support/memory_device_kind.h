#pragma once

#include <memory>
#include <vector>

#include "ant/usb/usb_device_kind.h"
#include "tests/support/memory_stick.h"

// A device kind that lists the given in-memory sticks, in order.
USBDeviceKind MakeMemoryDeviceKind(std::vector<std::shared_ptr<MemoryStick>> sticks);
