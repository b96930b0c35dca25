#include "ant/usb/libusb_transfer.h"

namespace {

unsigned int libusbTimeout(std::uint32_t timeoutMs) {
    return timeoutMs == 0 ? 1u : timeoutMs;
}

LibusbTransfer::Status fromLibusb(libusb_transfer_status status) {
    switch (status) {
    case LIBUSB_TRANSFER_COMPLETED:
        return LibusbTransfer::Status::Completed;
    case LIBUSB_TRANSFER_TIMED_OUT:
        return LibusbTransfer::Status::TimedOut;
    case LIBUSB_TRANSFER_CANCELLED:
        return LibusbTransfer::Status::Cancelled;
    case LIBUSB_TRANSFER_STALL:
        return LibusbTransfer::Status::Stall;
    case LIBUSB_TRANSFER_NO_DEVICE:
        return LibusbTransfer::Status::NoDevice;
    case LIBUSB_TRANSFER_OVERFLOW:
        return LibusbTransfer::Status::Overflow;
    case LIBUSB_TRANSFER_ERROR:
        break;
    }
    return LibusbTransfer::Status::Error;
}

} // namespace

LibusbTransfer::LibusbTransfer() : transfer_(libusb_alloc_transfer(0)) {}

LibusbTransfer::~LibusbTransfer() {
    Cancel();
    if (transfer_ != nullptr) {
        libusb_free_transfer(transfer_);
    }
}

void LibusbTransfer::FillBulk(libusb_device_handle* handle, std::uint8_t endpoint, std::uint8_t transferType,
                              std::uint8_t* buffer, int length, std::uint32_t timeoutMs) {
    if (transfer_ == nullptr) {
        return;
    }
    if (transferType == LIBUSB_TRANSFER_TYPE_INTERRUPT) {
        libusb_fill_interrupt_transfer(transfer_, handle, endpoint, buffer, length,
                                       &LibusbTransfer::OnComplete, this, libusbTimeout(timeoutMs));
    } else {
        libusb_fill_bulk_transfer(transfer_, handle, endpoint, buffer, length, &LibusbTransfer::OnComplete,
                                  this, libusbTimeout(timeoutMs));
    }
}

void LibusbTransfer::FillControl(libusb_device_handle* handle, std::uint8_t* setupAndData,
                                 std::uint32_t timeoutMs) {
    if (transfer_ != nullptr) {
        libusb_fill_control_transfer(transfer_, handle, setupAndData, &LibusbTransfer::OnComplete, this,
                                     libusbTimeout(timeoutMs));
    }
}

LibusbError::Enum LibusbTransfer::Submit() {
    draftwell::MutexLock lock(mutex_);
    if (transfer_ == nullptr) {
        return LibusbError::NoMemory;
    }
    if (completed_ || submitted_) {
        return LibusbError::Timeout;
    }
    const int result = libusb_submit_transfer(transfer_);
    if (result != LIBUSB_SUCCESS) {
        completed_ = true;
        return LibusbError::FromLibusb(result);
    }
    submitted_ = true;
    return LibusbError::Success;
}

LibusbTransfer::Status LibusbTransfer::Wait() {
    draftwell::MutexLock lock(mutex_);
    if (!submitted_) {
        const bool cancelled = completed_ && status_ == Status::Cancelled;
        completed_ = true;
        return cancelled ? Status::Cancelled : Status::Error;
    }
    while (!completed_) {
        completion_.wait(lock.forWait());
    }
    return status_;
}

void LibusbTransfer::Cancel() {
    draftwell::MutexLock lock(mutex_);
    if (completed_) {
        return;
    }
    if (!submitted_) {
        completed_ = true;
        status_ = Status::Cancelled;
        return;
    }
    if (libusb_cancel_transfer(transfer_) != LIBUSB_SUCCESS) {
        // Already on its way to completion (or the device is gone, which also completes it).
    }
    while (!completed_) {
        completion_.wait(lock.forWait());
    }
}

std::uint32_t LibusbTransfer::GetActualLength() {
    draftwell::MutexLock lock(mutex_);
    return actualLength_;
}

LibusbError::Enum LibusbTransfer::ToError(Status status) {
    switch (status) {
    case Status::Completed:
        return LibusbError::Success;
    case Status::TimedOut:
    case Status::Cancelled:
        return LibusbError::Timeout;
    case Status::Stall:
        return LibusbError::Pipe;
    case Status::NoDevice:
        return LibusbError::NoDevice;
    case Status::Overflow:
        return LibusbError::Overflow;
    case Status::Error:
        // Linux reports line errors (CRC, babble) this way; the device may still be there.
        return LibusbError::IoError;
    }
    return LibusbError::Other;
}

void LIBUSB_CALL LibusbTransfer::OnComplete(libusb_transfer* transfer) {
    auto* self = static_cast<LibusbTransfer*>(transfer->user_data);
    draftwell::MutexLock lock(self->mutex_);
    self->status_ = fromLibusb(transfer->status);
    self->actualLength_ =
        transfer->actual_length > 0 ? static_cast<std::uint32_t>(transfer->actual_length) : 0;
    self->completed_ = true;
    self->completion_.notify_all();
}
