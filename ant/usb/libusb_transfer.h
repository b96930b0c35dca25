#pragma once

#include <libusb.h>

#include <condition_variable>
#include <cstdint>

#include "ant/annotated_mutex.h"
#include "ant/usb/libusb_error.h"

// One asynchronous libusb transfer that a caller waits for. It completes on the
// device's event thread; a cancel before submission completes it at once, so a
// transfer that was cancelled while queued behind another never starts.
class LibusbTransfer {
  public:
    enum class Status { Completed, Error, TimedOut, Cancelled, Stall, NoDevice, Overflow };

    LibusbTransfer();
    ~LibusbTransfer();
    LibusbTransfer(const LibusbTransfer&) = delete;
    LibusbTransfer& operator=(const LibusbTransfer&) = delete;

    bool IsValid() const { return transfer_ != nullptr; }
    // `buffer` must outlive the transfer. A timeout of 0 is taken as 1 ms, never as "no limit".
    void FillBulk(libusb_device_handle* handle, std::uint8_t endpoint, std::uint8_t transferType,
                  std::uint8_t* buffer, int length, std::uint32_t timeoutMs);
    // `setupAndData` holds the 8-byte setup packet followed by the data stage.
    void FillControl(libusb_device_handle* handle, std::uint8_t* setupAndData, std::uint32_t timeoutMs);

    // Timeout if the transfer was already cancelled or completed.
    LibusbError::Enum Submit();
    // Waits for the completion. No limit of its own: every transfer carries a
    // libusb timeout and a close cancels whatever is pending.
    Status Wait();
    // Ends the transfer early; its waiter sees Cancelled.
    void Cancel();
    // Bytes moved, also for a transfer that timed out or was cancelled part-way.
    std::uint32_t GetActualLength();

    static LibusbError::Enum ToError(Status status);

  private:
    static void LIBUSB_CALL OnComplete(libusb_transfer* transfer);

    draftwell::Mutex mutex_;
    std::condition_variable completion_;
    bool submitted_ GUARDED_BY(mutex_) = false;
    bool completed_ GUARDED_BY(mutex_) = false;
    Status status_ GUARDED_BY(mutex_) = Status::Error;
    std::uint32_t actualLength_ GUARDED_BY(mutex_) = 0;
    libusb_transfer* transfer_ = nullptr;
};
