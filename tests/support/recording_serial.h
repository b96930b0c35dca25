#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "ant/dsi_serial.h"

// A serial port that records every write and can answer it through a hook.
class RecordingSerial : public DSISerial {
  public:
    using Hook = std::function<void(const std::vector<std::uint8_t>& written)>;

    bool AutoInit() override { return true; }
    bool Init(std::uint32_t, std::uint8_t) override { return true; }
    std::uint32_t GetDeviceSerialNumber() override { return 0; }
    bool Open() override { return true; }
    void Close(bool) override {}
    std::uint8_t GetDeviceNumber() override { return 0; }

    bool WriteBytes(const void* data, std::uint32_t size) override {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        std::vector<std::uint8_t> written(bytes, bytes + size);
        Hook hook;
        {
            std::lock_guard lock(mutex_);
            if (fail_) {
                return false;
            }
            writes_.push_back(written);
            hook = hook_;
        }
        if (hook) {
            hook(written);
        }
        return true;
    }

    void SetHook(Hook hook) {
        std::lock_guard lock(mutex_);
        hook_ = std::move(hook);
    }
    void SetFail(bool fail) {
        std::lock_guard lock(mutex_);
        fail_ = fail;
    }
    std::vector<std::vector<std::uint8_t>> Writes() {
        std::lock_guard lock(mutex_);
        return writes_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::vector<std::uint8_t>> writes_;
    Hook hook_;
    bool fail_ = false;
};
