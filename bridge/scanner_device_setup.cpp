#include "bridge/scanner_device_setup.h"

#include "ant/usb/usb_device_handle_si.h"
#include "sim/scenario.h"
#include "sim/sim_device_kind.h"

namespace draftwell {

ScannerDeviceSetup::ScannerDeviceSetup(const ScannerProgramOptions& options) {
    if (options.simulate) {
        previousKinds_ = GetUSBDeviceKinds();
        replacedKinds_ = true;
        // The default scenario: one Garmin finishing a lap every few seconds.
        SetUSBDeviceKinds({antsim::simDeviceKind(antsim::Scenario{})});
    } else if (!options.devicePath.isEmpty()) {
        previousNamedPorts_ = USBDeviceHandleSI::GetNamedPorts();
        USBDeviceHandleSI::SetNamedPorts({options.devicePath.toStdString()});
    }
    recording_ = std::make_unique<StickRecordingSetup>(options);
}

ScannerDeviceSetup::~ScannerDeviceSetup() {
    // It wrapped the kinds set above: undone first.
    recording_.reset();
    if (replacedKinds_) {
        SetUSBDeviceKinds(std::move(previousKinds_));
    }
    if (previousNamedPorts_) {
        USBDeviceHandleSI::SetNamedPorts(std::move(*previousNamedPorts_));
    }
}

} // namespace draftwell
