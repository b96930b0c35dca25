#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "ant/annotated_mutex.h"
#include "ant/usb/stick_recording.h"

class USBDevice;

// Appends the stick's traffic to a recording file, from any thread. Writes
// go through a buffer flushed at most every half second and at each open,
// close or loss of the stick, so the I/O threads rarely wait on the disk.
// A write that fails stops the recording for good and tells `stopped` once;
// the caller's exchange with the stick goes on untouched.
class StickRecorder {
  public:
    using StopHandler = std::function<void(const std::string& message)>;

    // Nothing if the file cannot be created; `error` says why.
    static std::shared_ptr<StickRecorder> Create(const std::string& path, StopHandler stopped,
                                                 std::string& error);
    ~StickRecorder();
    StickRecorder(const StickRecorder&) = delete;
    StickRecorder& operator=(const StickRecorder&) = delete;

    // Starts the clock of the events that follow.
    void Opening(const USBDevice& device, std::uint32_t baud);
    void OpenFailed(const USBDevice& device, std::uint32_t baud);
    void Host(const void* data, std::uint32_t size);
    void Stick(const void* data, std::uint32_t size);
    void Control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                 const std::uint8_t* data, std::uint32_t size, int result);
    void Gone();
    void Closed();

    bool IsStopped();

  private:
    using Clock = std::chrono::steady_clock;

    StickRecorder(std::FILE* file, std::string path, StopHandler stopped);
    void Append(StickEvent& event, bool flush);
    StickEvent DeviceEvent(StickEvent::Kind kind, const USBDevice& device, std::uint32_t baud);
    void AppendBytes(StickEvent::Kind kind, const void* data, std::uint32_t size);

    const std::string path_;
    const StopHandler stopped_;
    // Guards everything below.
    draftwell::Mutex mutex_;
    std::FILE* file_ GUARDED_BY(mutex_);
    Clock::time_point openedAt_ GUARDED_BY(mutex_);
    Clock::time_point flushedAt_ GUARDED_BY(mutex_);
    bool goneNoted_ GUARDED_BY(mutex_) = false;
};
