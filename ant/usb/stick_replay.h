#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ant/annotated_mutex.h"
#include "ant/usb/stick_recording.h"
#include "ant/usb/usb_status.h"

// A recording played back as the stick. Each open takes the next recorded
// open; within it the program's writes must equal the recorded host bytes in
// order (split into chunks as it likes), and each recorded stick chunk is
// handed to reads once every host byte recorded before it has been written,
// and, unless fast, no earlier after the open than it was recorded. The
// first write that differs fails the replay: the message says where, and
// from then on the stick is gone. Control requests are not played back.
class StickReplay {
  public:
    using FailureHandler = std::function<void(const std::string& message)>;

    StickReplay(std::vector<StickEvent> events, bool fast, FailureHandler failed = {});

    // The recorded open that the next Open will play; nothing if none is left.
    std::optional<StickEvent> NextOpen();
    // False if no open is left, one is running, or the recorded open failed (for good if it was the last).
    bool Open();
    bool IsOpen();
    // Ends the running open; host bytes recorded but never written fail the replay.
    void Close();

    USBStatus Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten);
    // A timeout of 0xFFFFFFFF waits without limit.
    USBStatus Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead, std::uint32_t timeoutMs);

    // The first difference, once there was one.
    std::optional<std::string> Failure();

  private:
    using Clock = std::chrono::steady_clock;

    std::size_t FindOpenLocked() const REQUIRES(mutex_);
    std::size_t FirstUnmatchedHostLocked() const REQUIRES(mutex_);
    std::size_t NextStickLocked() const REQUIRES(mutex_);
    std::string FailLocked(std::size_t event, const std::string& what) REQUIRES(mutex_);
    std::string Where(std::size_t event) const;

    const std::vector<StickEvent> events_;
    const bool fast_;
    const FailureHandler failed_;

    // Guards everything below.
    draftwell::Mutex mutex_;
    std::condition_variable changed_;
    std::size_t next_ GUARDED_BY(mutex_) = 0;       // where the search for the next open starts
    std::size_t end_ GUARDED_BY(mutex_) = 0;        // one past the running open's events
    std::size_t host_ GUARDED_BY(mutex_) = 0;       // the host event being matched, or where to look for it
    std::size_t hostOffset_ GUARDED_BY(mutex_) = 0; // bytes of events_[host_] already matched
    std::size_t stick_ GUARDED_BY(mutex_) = 0;      // where to look for the next stick chunk
    std::size_t stickOffset_ GUARDED_BY(mutex_) = 0;
    Clock::time_point openedAt_ GUARDED_BY(mutex_);
    bool open_ GUARDED_BY(mutex_) = false;
    bool gone_ GUARDED_BY(mutex_) = false;
    std::optional<std::string> failure_ GUARDED_BY(mutex_);
};
