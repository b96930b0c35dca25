#include "ant/usb/libusb_stick_port.h"
#include "ant/usb/usb_queued_read.h"

#include <chrono>
#include <system_error>
#include <vector>

namespace {

constexpr std::uint8_t kBulkIn = 0x81;
constexpr std::uint8_t kBulkOut = 0x01;
// Used when the endpoint descriptor gives no packet size (full-speed bulk maximum).
constexpr std::uint32_t kDefaultPacketSize = 64;
constexpr std::uint32_t kReadTimeoutMs = 60000;
constexpr std::uint32_t kWriteTimeoutMs = 1000;
constexpr auto kRetryPause = std::chrono::milliseconds(10);

bool retryable(LibusbError::Enum result) {
    return result == LibusbError::Interrupted || result == LibusbError::Pipe || result == LibusbError::Busy ||
           result == LibusbError::IoError;
}

} // namespace

LibusbStickPort::~LibusbStickPort() {
    Close(nullptr);
}

bool LibusbStickPort::Open(USBDeviceLibusb& device, const Configure& configure) {
    Close(nullptr);
    if (LibusbDeviceHandle::Open(device.GetLibusbDevice(), device_) != LibusbError::Success) {
        return false;
    }
    gone_.store(false);
    if (configure && !configure(*device_)) {
        Close(nullptr);
        return false;
    }
    const std::uint8_t serialIndex = device_->GetSerialStringIndex();
    if (serialIndex != 0) {
        char serial[255] = {};
        std::uint32_t length = 0;
        if (device_->GetStringDescriptorText(serialIndex, serial, sizeof serial, length) ==
            LibusbError::Success) {
            device.SetSerialString(reinterpret_cast<const std::uint8_t*>(serial), sizeof serial);
        }
    }
    if (device_->ClaimInterface(0) != LibusbError::Success) {
        Close(nullptr);
        return false;
    }
    stop_.store(false);
    try {
        receiveThread_ = std::thread(&LibusbStickPort::Receive, this);
    } catch (const std::system_error&) {
        Close(nullptr);
        return false;
    }
    return true;
}

void LibusbStickPort::Close(const BeforeClose& beforeClose) {
    if (device_ != nullptr && beforeClose && !gone_.load()) {
        beforeClose(*device_);
    }
    gone_.store(true);
    if (receiveThread_.joinable()) {
        {
            std::lock_guard lock(stopMutex_);
            stop_.store(true);
            stopChanged_.notify_all();
        }
        // Ends the outstanding read at once and refuses new ones, so the join is short.
        device_->Shutdown();
        receiveThread_.join();
    }
    LibusbDeviceHandle::Close(device_);
}

// One packet per read: a read of several packets would overflow when a packet does not fit the
// room left, and would hold back a reply that ends exactly on a packet boundary until the next
// packet comes.
void LibusbStickPort::Receive() {
    const std::uint16_t packetSize = device_->GetMaxPacketSize(kBulkIn);
    std::vector<std::uint8_t> block(packetSize != 0 ? packetSize : kDefaultPacketSize);
    const auto blockSize = static_cast<std::uint32_t>(block.size());
    while (!stop_.load()) {
        std::uint32_t received = 0;
        const LibusbError::Enum result =
            device_->BulkTransfer(kBulkIn, block.data(), blockSize, received, kReadTimeoutMs);
        if (received > 0) {
            // Also the part of a read that timed out or was cancelled: those bytes came from the stick.
            queue_.PushArray(reinterpret_cast<const char*>(block.data()), received);
        }
        // An overflow is the stick sending more than fitted, not a stick that is gone: read on.
        if (result == LibusbError::Success || result == LibusbError::Timeout ||
            result == LibusbError::Overflow) {
            continue;
        }
        if (!retryable(result)) {
            break;
        }
        if (result == LibusbError::Pipe) {
            device_->ClearHalt(kBulkIn);
        }
        BackOff();
    }
    gone_.store(true);
    std::lock_guard lock(stopMutex_);
    stop_.store(true);
    stopChanged_.notify_all();
}

void LibusbStickPort::BackOff() {
    std::unique_lock lock(stopMutex_);
    stopChanged_.wait_for(lock, kRetryPause, [this] { return stop_.load(); });
}

USBStatus LibusbStickPort::Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                                std::uint32_t timeoutMs) {
    return ReadQueuedBytes(queue_, gone_, buffer, size, bytesRead, timeoutMs);
}

USBStatus LibusbStickPort::Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) {
    bytesWritten = 0;
    if (gone_.load()) {
        return USBStatus::DeviceGone;
    }
    if (data == nullptr) {
        return USBStatus::InvalidParam;
    }
    if (size == 0) {
        return USBStatus::Success;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::vector<std::uint8_t> copy(bytes, bytes + size);
    const LibusbError::Enum result =
        device_->BulkTransfer(kBulkOut, copy.data(), size, bytesWritten, kWriteTimeoutMs);
    return result == LibusbError::Success && bytesWritten == size ? USBStatus::Success : USBStatus::Failed;
}
