#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "ant/dsi_serial_callback.h"

// Records the bytes and errors a serial port delivers.
class RecordingSerialCallback : public DSISerialCallback {
  public:
    void ProcessByte(std::uint8_t byte) override {
        std::lock_guard lock(mutex_);
        bytes_.push_back(byte);
        changed_.notify_all();
    }
    void Error(std::uint8_t errorCode) override {
        std::lock_guard lock(mutex_);
        errors_.push_back(errorCode);
        changed_.notify_all();
    }

    std::vector<std::uint8_t> Bytes() {
        std::lock_guard lock(mutex_);
        return bytes_;
    }
    std::vector<std::uint8_t> Errors() {
        std::lock_guard lock(mutex_);
        return errors_;
    }
    bool WaitForBytes(std::size_t count, int timeoutMs = 5000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return bytes_.size() >= count; });
    }
    bool WaitForErrors(std::size_t count, int timeoutMs = 5000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return errors_.size() >= count; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::uint8_t> errors_;
};
