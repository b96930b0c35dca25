#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>

#include "ant/usb/usb_device_handle.h"
#include "sim/scenario.h"
#include "sim/sim_device.h"
#include "sim/virtual_stick.h"

namespace antsim {

// An open virtual stick: writes go to the stick, reads take what it sent.
// After the stick is unplugged (or while closing) reads and writes report
// DeviceGone, even with bytes still queued, as a pulled stick would.
class SimDeviceHandle final : public USBDeviceHandle {
  public:
    SimDeviceHandle(const SimDevice& device, Scenario scenario, std::function<void(const std::string&)> trace,
                    std::function<void()> unplugged);
    ~SimDeviceHandle() override;

    bool start();
    // Marks the handle gone and stops the stick; readers return at once.
    void shutDown();

    USBStatus Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) override;
    // A timeout of 0xFFFFFFFF waits until bytes arrive or the stick goes.
    USBStatus Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                   std::uint32_t timeoutMs) override;
    const USBDevice& GetDevice() override { return device_; }

    std::uint8_t nextLapNumber() const { return stick_.nextLapNumber(); }
    void setLineRate(std::uint32_t baudRate) { stick_.setLineRate(baudRate); }

  private:
    void fromStick(std::span<const std::uint8_t> bytes);
    void markGone();

    const SimDevice device_;
    const std::function<void()> unplugged_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::uint8_t> queue_;
    bool gone_ = false;
    VirtualStick stick_;
};

} // namespace antsim
