#pragma once

#include <memory>

#include "ant/usb/usb_device_kind.h"
#include "bench/feed_stick.h"

namespace draftwell::bench {

// One feed stick as the only device the ANT library sees:
// SetUSBDeviceKinds({feedDeviceKind(stick)}).
USBDeviceKind feedDeviceKind(std::shared_ptr<FeedStick> stick);

} // namespace draftwell::bench
