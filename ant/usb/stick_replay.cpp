#include "ant/usb/stick_replay.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kNoTimeout = 0xFFFFFFFF;

bool isOpen(const StickEvent& event) {
    return event.kind == StickEvent::Kind::open || event.kind == StickEvent::Kind::openFailed;
}

bool endsOpen(const StickEvent& event) {
    return isOpen(event) || event.kind == StickEvent::Kind::close;
}

bool fromStick(const StickEvent& event) {
    return event.kind == StickEvent::Kind::stick || event.kind == StickEvent::Kind::gone;
}

} // namespace

StickReplay::StickReplay(std::vector<StickEvent> events, bool fast, FailureHandler failed)
    : events_(std::move(events)), fast_(fast), failed_(std::move(failed)) {}

std::size_t StickReplay::FindOpenLocked() const {
    std::size_t i = next_;
    while (i < events_.size() && !isOpen(events_[i])) {
        ++i;
    }
    return i;
}

std::optional<StickEvent> StickReplay::NextOpen() {
    draftwell::MutexLock lock(mutex_);
    const std::size_t i = FindOpenLocked();
    if (i == events_.size() || failure_) {
        return std::nullopt;
    }
    return events_[i];
}

bool StickReplay::Open() {
    draftwell::MutexLock lock(mutex_);
    const std::size_t i = FindOpenLocked();
    if (open_ || failure_ || i == events_.size()) {
        return false;
    }
    if (events_[i].kind == StickEvent::Kind::openFailed) {
        // A last open that failed fails for good, as the stick in the recording did.
        next_ = i + 1;
        if (FindOpenLocked() == events_.size()) {
            next_ = i;
        }
        return false;
    }
    next_ = i + 1;
    end_ = next_;
    while (end_ < events_.size() && !endsOpen(events_[end_])) {
        ++end_;
    }
    host_ = stick_ = next_;
    hostOffset_ = stickOffset_ = 0;
    openedAt_ = Clock::now();
    open_ = true;
    gone_ = false;
    return true;
}

bool StickReplay::IsOpen() {
    draftwell::MutexLock lock(mutex_);
    return open_;
}

void StickReplay::Close() {
    std::string message;
    {
        draftwell::MutexLock lock(mutex_);
        if (!open_) {
            return;
        }
        const std::size_t unmatched = FirstUnmatchedHostLocked();
        if (!failure_ && !gone_ && unmatched < end_) {
            const StickEvent& event = events_[unmatched];
            message = FailLocked(
                unmatched, "the program closed the stick before sending " +
                               HexBytes(event.bytes.data() + hostOffset_, event.bytes.size() - hostOffset_));
        }
        open_ = false;
        next_ = end_;
    }
    changed_.notify_all();
    if (!message.empty() && failed_) {
        failed_(message);
    }
}

std::optional<std::string> StickReplay::Failure() {
    draftwell::MutexLock lock(mutex_);
    return failure_;
}

std::size_t StickReplay::FirstUnmatchedHostLocked() const {
    std::size_t i = host_;
    while (i < end_ && events_[i].kind != StickEvent::Kind::host) {
        ++i;
    }
    return i;
}

std::size_t StickReplay::NextStickLocked() const {
    std::size_t i = stick_;
    while (i < end_ && !fromStick(events_[i])) {
        ++i;
    }
    return i;
}

std::string StickReplay::Where(std::size_t event) const {
    if (event >= events_.size()) {
        return "the end of the recording";
    }
    return "event " + std::to_string(event + 1) + " (line " + std::to_string(events_[event].line) + ", " +
           std::to_string(events_[event].ms) + " ms)";
}

std::string StickReplay::FailLocked(std::size_t event, const std::string& what) {
    failure_ = "Replay differs at " + Where(event) + ": " + what + ".";
    gone_ = true;
    changed_.notify_all();
    return *failure_;
}

USBStatus StickReplay::Write(const void* data, std::uint32_t size, std::uint32_t& bytesWritten) {
    bytesWritten = 0;
    if (data == nullptr) {
        return USBStatus::InvalidParam;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::string message;
    {
        draftwell::MutexLock lock(mutex_);
        if (!open_ || gone_) {
            return USBStatus::DeviceGone;
        }
        const std::string got = HexBytes(bytes, size);
        for (std::uint32_t i = 0; i < size; ++i) {
            host_ = FirstUnmatchedHostLocked();
            if (host_ >= end_) {
                message = FailLocked(end_, "the program sent " + got + " after the recorded exchange ended");
                break;
            }
            const StickEvent& expected = events_[host_];
            if (expected.bytes[hostOffset_] != bytes[i]) {
                message = FailLocked(host_, "expected the program to send " +
                                                HexBytes(expected.bytes.data(), expected.bytes.size()) +
                                                ", it sent " + got + " (first difference at byte " +
                                                std::to_string(hostOffset_ + 1) + " of the recorded chunk)");
                break;
            }
            if (++hostOffset_ == expected.bytes.size()) {
                ++host_;
                hostOffset_ = 0;
            }
        }
    }
    changed_.notify_all();
    if (!message.empty()) {
        if (failed_) {
            failed_(message);
        }
        return USBStatus::DeviceGone;
    }
    bytesWritten = size;
    return USBStatus::Success;
}

USBStatus StickReplay::Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                            std::uint32_t timeoutMs) {
    bytesRead = 0;
    if (buffer == nullptr) {
        return USBStatus::InvalidParam;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    draftwell::MutexLock lock(mutex_);
    for (;;) {
        if (!open_ || gone_) {
            return USBStatus::DeviceGone;
        }
        const std::size_t next = NextStickLocked();
        std::optional<Clock::time_point> due;
        if (next < end_ && next < FirstUnmatchedHostLocked()) {
            due = fast_ ? Clock::time_point::min() : openedAt_ + std::chrono::milliseconds(events_[next].ms);
            if (Clock::now() >= *due) {
                stick_ = next;
                const StickEvent& event = events_[next];
                if (event.kind == StickEvent::Kind::gone) {
                    gone_ = true;
                    return USBStatus::DeviceGone;
                }
                if (size == 0) {
                    return USBStatus::Timeout;
                }
                const std::size_t n = std::min<std::size_t>(size, event.bytes.size() - stickOffset_);
                std::memcpy(buffer, event.bytes.data() + stickOffset_, n);
                stickOffset_ += n;
                if (stickOffset_ == event.bytes.size()) {
                    ++stick_;
                    stickOffset_ = 0;
                }
                bytesRead = static_cast<std::uint32_t>(n);
                return USBStatus::Success;
            }
        }
        // Woken by a write that releases the chunk, by close, or when the chunk is due.
        if (timeoutMs == kNoTimeout) {
            if (due) {
                changed_.wait_until(lock.forWait(), *due);
            } else {
                changed_.wait(lock.forWait());
            }
        } else {
            if (Clock::now() >= deadline) {
                return USBStatus::Timeout;
            }
            changed_.wait_until(lock.forWait(), due ? std::min(*due, deadline) : deadline);
        }
    }
}
