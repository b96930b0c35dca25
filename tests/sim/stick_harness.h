#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "sim/scenario.h"
#include "sim/stick_frame.h"
#include "sim/virtual_stick.h"

namespace antsim::test {

// What the host side sees of a frame: its decoded content, whether the
// checksum was right, and when it arrived.
struct ReceivedFrame {
    StickFrame frame;
    bool checksumOk = true;
    std::chrono::steady_clock::time_point at;
};

// Drives a virtual stick the way a host would and records what it sends.
class StickHarness {
  public:
    explicit StickHarness(Scenario scenario);
    ~StickHarness();

    void send(std::uint8_t id, std::initializer_list<std::uint8_t> payload);
    void sendRaw(const std::vector<std::uint8_t>& bytes);
    // The commands the scanner sends to start scanning, optionally without some of them.
    void configure(bool extendedMessages = true, bool setFrequency = true);

    // Waits (up to timeout) until pred holds over the frames received so far.
    bool waitFor(const std::function<bool(const std::vector<ReceivedFrame>&)>& pred,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until at least n frames have arrived; returns them all.
    std::vector<ReceivedFrame> waitForCount(std::size_t n,
                                            std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits for the first frame with this ID after index `from`; returns its index or -1.
    int waitForId(std::uint8_t id, std::size_t from = 0,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10));

    std::vector<ReceivedFrame> frames();
    std::vector<std::string> traceLines();
    bool unpluggedReported();
    VirtualStick& stick() { return stick_; }

  private:
    void onOutput(const std::uint8_t* data, std::size_t size);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::uint8_t> pendingBytes_;
    std::vector<ReceivedFrame> frames_;
    std::vector<std::string> trace_;
    bool unplugged_ = false;
    VirtualStick stick_;
};

// Frame bytes as the host writes them: framed, with two padding zeros.
std::vector<std::uint8_t> hostFrame(std::uint8_t id, std::initializer_list<std::uint8_t> payload);

} // namespace antsim::test
