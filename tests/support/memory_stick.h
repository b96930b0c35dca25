#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ant/ts_queue.h"

// An in-memory stick: the test plays the bytes it sends and reads back the
// bytes written to it. Shared by the test, the device and the open handle.
class MemoryStick {
  public:
    using WriteHook = std::function<void(MemoryStick& stick, const std::vector<std::uint8_t>& written)>;

    explicit MemoryStick(std::uint16_t pid = 0x1008, std::uint32_t serialNumber = 12345);

    std::uint16_t pid() const { return pid_; }
    std::uint32_t serialNumber() const { return serialNumber_; }

    // Bytes the stick sends to the host.
    void Send(const std::vector<std::uint8_t>& bytes);
    // Called with each write after it is recorded; may Send an answer.
    void SetWriteHook(WriteHook hook);
    // All writes so far, in order.
    std::vector<std::vector<std::uint8_t>> Writes();
    // Waits up to timeoutMs until at least `count` writes were made.
    bool WaitForWrites(std::size_t count, int timeoutMs);

    void Unplug();
    bool IsGone();
    void SetWriteFails(bool fails);
    void SetOpenable(bool openable);
    bool IsOpenable();
    // Makes Read block for `ms` before answering, to stand for a stuck device.
    void SetReadStall(int ms);

    // Used by the handle.
    std::uint32_t PopForRead(std::uint8_t* buffer, std::uint32_t size, std::uint32_t timeoutMs);
    bool RecordWrite(const std::uint8_t* data, std::uint32_t size);
    void NoteOpened(std::uint32_t baudRate);
    std::uint32_t LastBaudRate();
    void NoteClosed();
    int OpenCount();
    int CloseCount();

  private:
    std::uint16_t pid_;
    std::uint32_t serialNumber_;
    TSQueue<char> inbound_;
    std::mutex mutex_;
    std::condition_variable written_;
    std::vector<std::vector<std::uint8_t>> writes_;
    WriteHook hook_;
    bool gone_ = false;
    bool writeFails_ = false;
    bool openable_ = true;
    int readStallMs_ = 0;
    int opens_ = 0;
    std::uint32_t lastBaudRate_ = 0;
    int closes_ = 0;
};
