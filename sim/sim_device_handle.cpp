#include "sim/sim_device_handle.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace antsim {

namespace {
// A host that stops reading loses the oldest bytes beyond this, like a real
// stick's overflowing buffer, instead of growing without end.
constexpr std::size_t kQueueLimit = 64 * 1024;
constexpr std::uint32_t kNoTimeout = 0xFFFFFFFF;
} // namespace

SimDeviceHandle::SimDeviceHandle(const SimDevice& device, Scenario scenario,
                                 std::function<void(const std::string&)> trace,
                                 std::function<void()> unplugged)
    : device_(device), unplugged_(std::move(unplugged)),
      stick_(std::move(scenario),
             VirtualStick::Callbacks{[this](std::span<const std::uint8_t> b) { fromStick(b); },
                                     std::move(trace), [this] { markGone(); }}) {}

SimDeviceHandle::~SimDeviceHandle() {
    shutDown();
}

bool SimDeviceHandle::start() {
    return stick_.start();
}

void SimDeviceHandle::shutDown() {
    {
        std::lock_guard lock(mutex_);
        gone_ = true;
    }
    arrived_.notify_all();
    stick_.stop();
}

void SimDeviceHandle::markGone() {
    // Off the device list first, so whoever sees DeviceGone finds it gone there too.
    if (unplugged_) {
        unplugged_();
    }
    {
        std::lock_guard lock(mutex_);
        gone_ = true;
    }
    arrived_.notify_all();
}

void SimDeviceHandle::fromStick(std::span<const std::uint8_t> bytes) {
    {
        std::lock_guard lock(mutex_);
        queue_.insert(queue_.end(), bytes.begin(), bytes.end());
        if (queue_.size() > kQueueLimit) {
            queue_.erase(queue_.begin(),
                         queue_.begin() + static_cast<std::ptrdiff_t>(queue_.size() - kQueueLimit));
        }
    }
    arrived_.notify_all();
}

USBStatus SimDeviceHandle::Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) {
    bytesWritten = 0;
    {
        std::lock_guard lock(mutex_);
        if (gone_) {
            return USBStatus::DeviceGone;
        }
    }
    if (data == nullptr) {
        return USBStatus::InvalidParam;
    }
    try {
        stick_.receive(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), size));
    } catch (...) {
        // The library above us is not prepared for exceptions.
        return USBStatus::Failed;
    }
    bytesWritten = size;
    return USBStatus::Success;
}

USBStatus SimDeviceHandle::Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                                std::uint32_t timeoutMs) {
    bytesRead = 0;
    if (buffer == nullptr) {
        return USBStatus::InvalidParam;
    }
    std::unique_lock lock(mutex_);
    const auto ready = [this] { return gone_ || !queue_.empty(); };
    if (timeoutMs == kNoTimeout) {
        arrived_.wait(lock, ready);
    } else {
        arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    }
    if (gone_) {
        return USBStatus::DeviceGone;
    }
    if (queue_.empty() || size == 0) {
        return USBStatus::Timeout;
    }
    const auto n = std::min<std::size_t>(size, queue_.size());
    std::copy_n(queue_.begin(), n, static_cast<std::uint8_t*>(buffer));
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n));
    bytesRead = static_cast<std::uint32_t>(n);
    return USBStatus::Success;
}

} // namespace antsim
