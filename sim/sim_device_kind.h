#pragma once

#include <functional>
#include <string>

#include "ant/usb/usb_device_kind.h"
#include "sim/scenario.h"

namespace antsim {

// The virtual stick as a USB device kind, for running without hardware:
// SetUSBDeviceKinds({simDeviceKind(scenario)}). It lists one device of type
// kSimDeviceType; each open starts a fresh virtual stick with the scenario,
// its Garmins going on with the lap numbers where the previous one stopped.
// Once a stick has been unplugged the device is no longer listed. With
// scenario.trace set, received frames go to trace (standard error if empty).
USBDeviceKind simDeviceKind(Scenario scenario, std::function<void(const std::string&)> trace = {});

} // namespace antsim
