#include "ant/usb/recording_device_handle.h"

#include <new>

RecordingDeviceHandle::RecordingDeviceHandle(USBDeviceHandle* inner, std::shared_ptr<StickRecorder> recorder)
    : inner_(inner), recorder_(std::move(recorder)) {}

USBStatus RecordingDeviceHandle::Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) {
    // Before the write: a stick that answers at once must not have its answer recorded first.
    if (data != nullptr && size > 0) {
        recorder_->Host(data, size);
    }
    const USBStatus status = inner_->Write(data, size, bytesWritten);
    if (status == USBStatus::DeviceGone) {
        recorder_->Gone();
    }
    return status;
}

USBStatus RecordingDeviceHandle::Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                                      std::uint32_t timeoutMs) {
    const USBStatus status = inner_->Read(buffer, size, bytesRead, timeoutMs);
    if (status == USBStatus::Success && bytesRead > 0 && bytesRead <= size) {
        recorder_->Stick(buffer, bytesRead);
    }
    if (status == USBStatus::DeviceGone) {
        recorder_->Gone();
    }
    return status;
}

USBDeviceHandle* RecordingDeviceHandle::Release() {
    USBDeviceHandle* inner = inner_;
    inner_ = nullptr;
    return inner;
}

std::vector<USBDeviceKind> RecordingDeviceKinds(std::vector<USBDeviceKind> kinds,
                                                std::shared_ptr<StickRecorder> recorder) {
    for (USBDeviceKind& kind : kinds) {
        if (kind.open) {
            kind.open = [open = std::move(kind.open),
                         recorder](const USBDevice& device, USBDeviceHandle*& handle, std::uint32_t baud) {
                recorder->Opening(device, baud);
                if (!open(device, handle, baud) || handle == nullptr) {
                    recorder->OpenFailed(device, baud);
                    return false;
                }
                auto* wrapped = new (std::nothrow) RecordingDeviceHandle(handle, recorder);
                if (wrapped == nullptr) {
                    return true; // unrecorded rather than unopened
                }
                handle = wrapped;
                return true;
            };
        }
        if (kind.close) {
            kind.close = [close = std::move(kind.close), recorder](USBDeviceHandle*& handle, bool reset) {
                auto* wrapped = dynamic_cast<RecordingDeviceHandle*>(handle);
                if (wrapped == nullptr) {
                    return close(handle, reset);
                }
                USBDeviceHandle* inner = wrapped->Release();
                delete wrapped;
                handle = nullptr;
                const bool closed = close(inner, reset);
                recorder->Closed();
                return closed;
            };
        }
    }
    return kinds;
}
