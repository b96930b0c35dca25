#pragma once

#include <memory>
#include <vector>

#include "ant/usb/stick_recorder.h"
#include "ant/usb/usb_device_handle.h"
#include "ant/usb/usb_device_kind.h"

// An open stick of any kind whose every read and write is also handed to a
// recorder. The wrapped handle is closed by its own kind (see RecordingDeviceKinds).
class RecordingDeviceHandle final : public USBDeviceHandle {
  public:
    RecordingDeviceHandle(USBDeviceHandle* inner, std::shared_ptr<StickRecorder> recorder);

    USBStatus Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) override;
    USBStatus Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                   std::uint32_t timeoutMs) override;
    const USBDevice& GetDevice() override { return inner_->GetDevice(); }

    // Gives the wrapped handle back to its kind's close; the wrapper is then empty.
    USBDeviceHandle* Release();

  private:
    USBDeviceHandle* inner_;
    const std::shared_ptr<StickRecorder> recorder_;
};

// The same kinds, each open and close wrapped so that the stick's traffic is recorded.
std::vector<USBDeviceKind> RecordingDeviceKinds(std::vector<USBDeviceKind> kinds,
                                                std::shared_ptr<StickRecorder> recorder);
