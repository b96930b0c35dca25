#pragma once

#include <atomic>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "bench/broadcast_log.h"
#include "sim/pseudo_terminal.h"
#include "sim/scenario.h"
#include "sim/virtual_stick.h"

namespace draftwell::bench {

// The virtual stick served on a pseudo-terminal, noting in a log the moment
// each broadcast is written to the terminal. Owns the stick and one reader
// thread; stop() (or destruction) ends both.
class TimedPtyStick {
  public:
    TimedPtyStick(antsim::Scenario scenario, BroadcastLog& log);
    ~TimedPtyStick();
    TimedPtyStick(const TimedPtyStick&) = delete;
    TimedPtyStick& operator=(const TimedPtyStick&) = delete;

    bool start(std::string& error);
    void stop();
    const std::string& slavePath() const { return pty_.slavePath(); }
    // CPU time used so far by the stick's two threads, to tell it apart from the host's.
    double cpuSeconds() const;

  private:
    void readLoop();
    void writeToHost(std::span<const std::uint8_t> bytes);
    void noteBroadcasts(std::span<const std::uint8_t> bytes, BroadcastLog::Clock::time_point at);
    static double threadCpuSeconds(clockid_t clock);

    BroadcastLog& log_;
    antsim::PseudoTerminal pty_;
    int wakeFd_ = -1;
    std::thread reader_;
    std::atomic<bool> stickClockKnown_{false};
    clockid_t stickClock_{};
    std::atomic<bool> readerClockKnown_{false};
    clockid_t readerClock_{};
    std::vector<std::uint8_t> partial_; // stick thread only: bytes of a frame not yet complete
    antsim::VirtualStick stick_;
};

} // namespace draftwell::bench
