#pragma once

#include <atomic>
#include <cstdint>

#include "ant/ts_queue.h"
#include "ant/usb/usb_status.h"

// Read of every stick kind: bytes its receive thread queued, unless the
// device is gone, which wins even over bytes still queued.
inline USBStatus ReadQueuedBytes(TSQueue<char>& queue, const std::atomic<bool>& gone, void* buffer,
                                 std::uint32_t size, std::uint32_t& bytesRead, std::uint32_t timeoutMs) {
    bytesRead = 0;
    if (gone.load()) {
        return USBStatus::DeviceGone;
    }
    if (buffer == nullptr) {
        return USBStatus::InvalidParam;
    }
    bytesRead = queue.PopArray(static_cast<char*>(buffer), size, timeoutMs);
    return bytesRead == 0 ? USBStatus::Timeout : USBStatus::Success;
}
