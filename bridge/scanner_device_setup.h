#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ant/usb/usb_device_kind.h"
#include "bridge/scanner_program_options.h"
#include "bridge/stick_recording_setup.h"

namespace draftwell {

// Points the ANT library at the sticks the options ask for: with --simulate
// the built-in virtual stick alone, with --device the named serial port as
// device 0 (the attached sticks after it), else the attached sticks. Create
// it before the bridge and keep it until the bridge is gone; destruction
// puts back what was there before.
class ScannerDeviceSetup {
  public:
    explicit ScannerDeviceSetup(const ScannerProgramOptions& options);
    ~ScannerDeviceSetup();
    ScannerDeviceSetup(const ScannerDeviceSetup&) = delete;
    ScannerDeviceSetup& operator=(const ScannerDeviceSetup&) = delete;

    // --record and --replay.
    const StickRecordingSetup& recording() const { return *recording_; }

  private:
    std::vector<USBDeviceKind> previousKinds_;
    std::optional<std::vector<std::string>> previousNamedPorts_;
    bool replacedKinds_ = false;
    std::unique_ptr<StickRecordingSetup> recording_;
};

} // namespace draftwell
