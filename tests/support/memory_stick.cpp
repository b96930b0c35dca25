#include "tests/support/memory_stick.h"

#include <chrono>
#include <thread>

MemoryStick::MemoryStick(std::uint16_t pid, std::uint32_t serialNumber)
    : pid_(pid), serialNumber_(serialNumber) {}

void MemoryStick::Send(const std::vector<std::uint8_t>& bytes) {
    std::vector<char> chars(bytes.begin(), bytes.end());
    inbound_.PushArray(chars.data(), static_cast<std::uint32_t>(chars.size()));
}

void MemoryStick::SetWriteHook(WriteHook hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
}

std::vector<std::vector<std::uint8_t>> MemoryStick::Writes() {
    std::lock_guard lock(mutex_);
    return writes_;
}

bool MemoryStick::WaitForWrites(std::size_t count, int timeoutMs) {
    std::unique_lock lock(mutex_);
    return written_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return writes_.size() >= count; });
}

void MemoryStick::Unplug() {
    std::lock_guard lock(mutex_);
    gone_ = true;
}

bool MemoryStick::IsGone() {
    std::lock_guard lock(mutex_);
    return gone_;
}

void MemoryStick::SetWriteFails(bool fails) {
    std::lock_guard lock(mutex_);
    writeFails_ = fails;
}

void MemoryStick::SetOpenable(bool openable) {
    std::lock_guard lock(mutex_);
    openable_ = openable;
}

bool MemoryStick::IsOpenable() {
    std::lock_guard lock(mutex_);
    return openable_ && !gone_;
}

void MemoryStick::SetReadStall(int ms) {
    std::lock_guard lock(mutex_);
    readStallMs_ = ms;
}

std::uint32_t MemoryStick::PopForRead(std::uint8_t* buffer, std::uint32_t size, std::uint32_t timeoutMs) {
    int stall = 0;
    {
        std::lock_guard lock(mutex_);
        stall = readStallMs_;
    }
    if (stall > 0) {
        // Stands for a device whose read ignores its timeout.
        std::this_thread::sleep_for(std::chrono::milliseconds(stall));
    }
    return inbound_.PopArray(reinterpret_cast<char*>(buffer), size, timeoutMs);
}

bool MemoryStick::RecordWrite(const std::uint8_t* data, std::uint32_t size) {
    WriteHook hook;
    std::vector<std::uint8_t> bytes(data, data + size);
    {
        std::lock_guard lock(mutex_);
        if (writeFails_ || gone_) {
            return false;
        }
        writes_.push_back(bytes);
        hook = hook_;
    }
    written_.notify_all();
    if (hook) {
        hook(*this, bytes);
    }
    return true;
}

void MemoryStick::NoteOpened(std::uint32_t baudRate) {
    std::lock_guard lock(mutex_);
    ++opens_;
    lastBaudRate_ = baudRate;
}

std::uint32_t MemoryStick::LastBaudRate() {
    std::lock_guard lock(mutex_);
    return lastBaudRate_;
}

void MemoryStick::NoteClosed() {
    std::lock_guard lock(mutex_);
    ++closes_;
}

int MemoryStick::OpenCount() {
    std::lock_guard lock(mutex_);
    return opens_;
}

int MemoryStick::CloseCount() {
    std::lock_guard lock(mutex_);
    return closes_;
}
